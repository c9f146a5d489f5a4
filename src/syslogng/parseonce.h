#pragma once

#include <QByteArray>

class SyslogNgRoot;

// Common files written before the events source parsed its records itself
// define "velta_events_parser" as the JSON parser, and every per-event file's
// log path runs it again: a record is parsed once per notified event. The
// faster form moves that parser into the events source (a JSON record gets
// its fields and the tag "velta_json" there, any other record goes on
// untagged, as before) and leaves "velta_events_parser" a look at the tag, so
// that log paths that name it take the same records as before.
namespace ParseOnce
{
// The tag the events source gives the records it parsed as JSON.
inline constexpr char JsonTag[] = "velta_json";

// The text of the file as read (root: what CommonSettingsParser made of it)
// in the faster form, changed only in the bodies of the events source and
// parser; empty when the file has no such pair or has the faster form already.
QByteArray fasterForm(const SyslogNgRoot &root);
}
