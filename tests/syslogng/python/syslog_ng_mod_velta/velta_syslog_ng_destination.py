# Stand-in for the notification destination: records the options syslog-ng
# hands over, one JSON object a line, in the file named by VELTA_TEST_OPTIONS.
import json
import os


class VeltaSyslogNgDestination(object):
    def init(self, options):
        with open(os.environ["VELTA_TEST_OPTIONS"], "a", encoding="utf-8") as f:
            f.write(json.dumps(dict(options)) + "\n")
        return True

    def send(self, msg):
        return True
