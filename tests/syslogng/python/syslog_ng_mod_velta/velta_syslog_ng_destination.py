# Stand-in for the notification destination. It records the options syslog-ng
# hands over, one JSON object a line, in the file named by VELTA_TEST_OPTIONS,
# and every record it is sent, with those options, in the file named by
# VELTA_TEST_RECEIVED. Either variable may be unset.
import json
import os


def append_line(variable, value):
    path = os.environ.get(variable)
    if path:
        with open(path, "a", encoding="utf-8") as f:
            f.write(json.dumps(value, ensure_ascii=False) + "\n")


class VeltaSyslogNgDestination(object):
    def init(self, options):
        self.options = dict(options)
        append_line("VELTA_TEST_OPTIONS", self.options)
        return True

    def send(self, msg):
        text = msg["MESSAGE"].decode("utf-8", "replace")
        try:
            record = json.loads(text)
        except ValueError:
            record = text
        append_line("VELTA_TEST_RECEIVED", {"options": self.options, "record": record})
        return True
