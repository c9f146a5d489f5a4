#pragma once

#include "model/abstractconfigparser.h"

// Reads a syslog-ng file of the form CommonWriter produces into a three-level
// tree: the root, one node per top-level statement (directives first, then
// blocks) and one node per option of a block. It tokenizes the language (quoted
// texts, comments, nesting); what the writer could not give back the same way
// marks the read damaged, and a broken structure ends the read there.
class CommonSettingsParser : public AbstractConfigParser
{
    Q_OBJECT
public:
    explicit CommonSettingsParser(const QString &fileName, QObject *parent = nullptr);
    ~CommonSettingsParser() override;

    TreeItem *parse() override;
};
