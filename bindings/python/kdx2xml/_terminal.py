"""What the command lines print on standard error: failure lines, whose control
characters are shown escaped on a terminal (a failure text may hold a CR), and
progress: a bar on a terminal, a line every few seconds in a log."""

import re
import sys
import time

_CONTROL = re.compile("[\x00-\x1f\x7f-\x9f]")


def printable(text: str) -> str:
    """text with each control character written as its escape (\\r, \\x1b)."""
    return _CONTROL.sub(lambda m: repr(m.group())[1:-1], text)


class Progress:
    """Failure lines and the progress of a run of total inputs on one stream.

    On a terminal a bar is the last line, redrawn at most ten times a second and
    cleared before any other line (as the command-line tool draws it, for more
    than four inputs); elsewhere a line "kdx2xml: 120/3000 done, 2 failed,
    85.3 files/s" every LOG_EVERY seconds."""

    BAR_AFTER = 4
    REDRAW = 0.1
    LOG_EVERY = 5.0
    WIDTH = 30

    def __init__(self, total, stream=None, clock=time.monotonic):
        self.stream = stream or sys.stderr
        self.total, self.clock = total, clock
        try:
            self.terminal = self.stream.isatty()
        except (AttributeError, ValueError):
            self.terminal = False
        self.bar = self.terminal and total > self.BAR_AFTER
        self.started = self.last = clock()
        self.done = self.failed = 0
        self.drawn = 0

    def line(self, text):
        """Prints a line, escaped on a terminal."""
        self._clear()
        self.stream.write((printable(text) if self.terminal else text) + "\n")
        if self.bar:
            self._draw()
        self.stream.flush()

    def update(self, done, failed=None):
        """done inputs so far (failed of them, when known)."""
        self.done = done
        if failed is not None:
            self.failed = failed
        now = self.clock()
        if self.bar:
            if done == self.total or now - self.last >= self.REDRAW:
                self._clear()
                self._draw()
                self.last = now
        elif not self.terminal and now - self.last >= self.LOG_EVERY and done < self.total:
            rate = done / max(now - self.started, 1e-9)
            failed = f", {self.failed} failed" if self.failed else ""
            self.stream.write(f"kdx2xml: {done}/{self.total} done{failed}, "
                              f"{rate:.1f} files/s\n")
            self.stream.flush()
            self.last = now

    def finish(self):
        self._clear()
        self.stream.flush()

    def _draw(self):
        filled = self.done * self.WIDTH // self.total if self.total else self.WIDTH
        text = f"[{'#' * filled}{'.' * (self.WIDTH - filled)}] {self.done}/{self.total}"
        if self.failed:
            text += f", {self.failed} failed"
        self.stream.write(text)
        self.stream.flush()
        self.drawn = len(text)

    def _clear(self):
        if self.drawn:
            self.stream.write("\r" + " " * self.drawn + "\r")
            self.drawn = 0
