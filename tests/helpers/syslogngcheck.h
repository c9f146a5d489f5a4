#pragma once

class QString;
class TestRoot;

// Writes a main syslog-ng configuration into the root that includes every
// "*.conf" of the root's "/etc/syslog-ng/conf.d"; returns its placed path.
QString writeSyslogNgConfig(const TestRoot &root);

// Runs the real "syslog-ng --syntax-only" on a main configuration that includes
// the root's "/etc/syslog-ng/conf.d". On refusal, errors gets what syslog-ng said.
bool syslogNgAccepts(const TestRoot &root, QString *errors = nullptr);
