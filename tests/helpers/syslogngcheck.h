#pragma once

class QString;
class TestRoot;

// Runs the real "syslog-ng --syntax-only" on a main configuration that includes
// every "*.conf" of the root's "/etc/syslog-ng/conf.d". On refusal, errors gets
// what syslog-ng said.
bool syslogNgAccepts(const TestRoot &root, QString *errors = nullptr);
