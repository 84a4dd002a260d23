"""An example load on a TesselService: readers of the log database and writers of Folio content.

On one machine:

    TESSEL_PASSWORD=tester locust -f locustfile.py --headless -u 20 -r 5 -t 1m \
        --host http://127.0.0.1:8080 --tessel-user tester

Spread over machines: one master, and on each other host workers that connect to it:

    TESSEL_PASSWORD=tester locust -f locustfile.py --master --host http://SERVICE:8080
    TESSEL_PASSWORD=tester locust -f locustfile.py --worker --master-host MASTER
"""

import itertools
import os

from locust import between, task

from tessel.locust import TesselUser

_names = itertools.count()


class LogReader(TesselUser):
    wait_time = between(0.05, 0.2)

    @task(3)
    def read_first_log(self):
        self.call("GetLog", logID="1")

    @task
    def count_logs(self):
        self.call("GetLogCount")


class ContentWriter(TesselUser):
    wait_time = between(0.05, 0.2)

    @task
    def put_read_remove(self):
        name = "load-%d-%d" % (os.getpid(), next(_names))
        if self.call("PutVOContent", name=name, content="<p>content of %s</p>" % name) is not None:
            self.call("GetVOContent", name=name)
            self.call("RemoveVOContent", name=name)
