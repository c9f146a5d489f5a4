#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class TreeItem;
class TestRoot;

// A system root shared by every run of one fuzzer process, holding a copy of
// the sample system (or, with sampleSystem false, only its event dictionary:
// a reader of the whole package would spend each run on the sample's events);
// each run overwrites the files it feeds to a reader. The first call decides.
TestRoot &fuzzRoot(bool sampleSystem = true);

// The fuzzer's input cut into count parts at lines "--part--"; missing parts
// are empty. Lets one input feed several files of a reader.
QList<QByteArray> inputParts(const uint8_t *data, size_t size, int count);

// Every node's columns, one line per node, indented by depth.
QStringList dumpTree(const TreeItem *item);

// Stops the fuzzer with both readings when a round trip changed what was read.
void requireSame(const QStringList &first, const QStringList &second, const char *what);
