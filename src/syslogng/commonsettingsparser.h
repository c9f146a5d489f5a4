#pragma once

#include "model/abstractconfigparser.h"

// Reads a syslog-ng file of the form CommonWriter produces into a three-level
// tree: the root, one node per top-level statement (directives first, then
// blocks) and one node per option of a block. A line-and-pattern reader, not a
// grammar: files of other forms read back partly or not at all.
class CommonSettingsParser : public AbstractConfigParser
{
    Q_OBJECT
public:
    explicit CommonSettingsParser(const QString &fileName, QObject *parent = nullptr);
    ~CommonSettingsParser() override;

    TreeItem *parse() override;

private:
    const QString m_blockPattern;
    const QString m_directivePattern;
    const QString m_parenthesisedPattern;
    const QString m_bracedPattern;
};
