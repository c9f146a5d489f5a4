#pragma once

#include "editors/pathchooser.h"

#include <QList>
#include <QString>

// Answers the editors' file and directory choosers with one system path while it
// lives (an empty path cancels) and records which kind of chooser was asked for.
class ChooserAnswer
{
public:
    explicit ChooserAnswer(const QString &path)
    {
        PathChooser::setAnswer([this, path](PathChooser::Kind kind) {
            m_asked << kind;
            return path;
        });
    }
    ~ChooserAnswer()
    {
        PathChooser::setAnswer({});
    }

    ChooserAnswer(const ChooserAnswer &) = delete;
    ChooserAnswer &operator=(const ChooserAnswer &) = delete;

    QList<PathChooser::Kind> asked() const
    {
        return m_asked;
    }

private:
    QList<PathChooser::Kind> m_asked;
};
