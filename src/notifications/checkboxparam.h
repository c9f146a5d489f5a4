#pragma once

#include <QCheckBox>
#include <QVariant>

// A parameter the notification message may carry: shows its display text and
// carries its key.
class CheckBoxParam : public QCheckBox
{
    Q_OBJECT
public:
    CheckBoxParam(const QString &text, QWidget *parent, const QVariant &key);
    ~CheckBoxParam() override;

    QVariant key() const
    {
        return m_key;
    }

private:
    QVariant m_key;
};
