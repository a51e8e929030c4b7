"""Polling for a condition, shared by the Python test scripts."""
import time


def wait_for(what, condition, timeout=30.0, interval=0.1):
    """Polls until condition() is truthy and returns its value; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)
