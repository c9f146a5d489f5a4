#include "terminaloutput.h"

#include "platform/controlescape.h"

#include <QFile>

namespace TerminalOutput
{
namespace
{
// Standard error with every write escaped. The text stream hands it whole
// encoded texts, so no character is cut between two writes.
class EscapingDevice : public QIODevice
{
public:
    EscapingDevice()
    {
        m_stderr.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *, qint64) override
    {
        return -1;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_stderr.write(ControlEscape::escapedUtf8(QByteArray::fromRawData(data, int(size))));
        return size;
    }

private:
    QFile m_stderr;
};
} // namespace

QTextStream &errors()
{
    static EscapingDevice device;
    static QTextStream stream(&device);
    return stream;
}

void write(const QByteArray &data)
{
    QFile out;
    if (out.open(stdout, QIODevice::WriteOnly)) {
        out.write(data);
    }
}
} // namespace TerminalOutput
