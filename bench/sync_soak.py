#!/usr/bin/env python3
"""Soak of the note folder kept in step by Syncthing: two copies of the real
program (the sync helper), set up as in the sync session test, type at the
end of random notes, and now and then make a new one, for a few minutes
while the two folders are kept in step. Then, once the sync has settled,
every text either side typed must be in some note on both sides: edits made
on both sides at once end in the note and a conflict copy, never lost.

    sync_soak.py --helper SYNC_HELPER [--minutes N] [--seed S]

Prints the counts and tab-separated RESULT lines for scripts/bench.sh;
exits 1 when an edit is missing."""

import argparse
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "integration"))
from sync_session import Session, is_conflict_copy, visible_text, wait_until  # noqa: E402

SETTLE_SECONDS = 180
NEW_NOTE_SHARE = 0.1


def result(measure, value, unit, goal="", verdict=""):
    print("RESULT\t%s\t%s\t%s\t%s\t%s" % (measure, value, unit, goal, verdict), flush=True)


def missing(side, tokens):
    """The tokens found in no note of the side, as stored and as shown."""
    texts = [visible_text(note) or "" for note in side.notes()]
    return [token for token in tokens if not any(token in text for text in texts)]


def soak(session, minutes, rng):
    tokens = []
    refused = 0
    counts = {side.name: 0 for side in session.sides}
    end = time.monotonic() + minutes * 60
    while time.monotonic() < end:
        side = rng.choice(session.sides)
        # Brackets keep one token from being part of another.
        token = "[%s%d]" % (side.name, len(tokens))
        notes = side.notes()
        try:
            if not notes or rng.random() < NEW_NOTE_SHARE:
                side.ask("new " + token)
            else:
                side.ask("append %s %s" % (rng.choice(notes)["id"], " " + token))
        except AssertionError as failure:
            # The note may have gone between the list and the order; the
            # token was never typed, so it is not expected anywhere.
            print("refused: %s" % failure, flush=True)
            refused += 1
            continue
        tokens.append(token)
        counts[side.name] += 1
        time.sleep(rng.uniform(0.2, 1.5))
    return tokens, counts, refused


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--helper", required=True, help="the sync_helper executable")
    parser.add_argument("--minutes", type=float, default=3)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()
    print("seed %d" % args.seed, flush=True)
    session = Session(os.path.abspath(args.helper))
    try:
        tokens, counts, refused = soak(session, args.minutes, random.Random(args.seed))
        settle_start = time.monotonic()
        try:
            wait_until("every edit on both sides",
                       lambda: not any(missing(side, tokens) for side in session.sides), seconds=SETTLE_SECONDS)
        except AssertionError as failure:
            print(failure, flush=True)
        settled = time.monotonic() - settle_start
        lost = {side.name: missing(side, tokens) for side in session.sides}
        for side in session.sides:
            notes = side.notes()
            print("%s: %d edits made here, %d notes, %d conflict copies, %d edits missing %s" % (
                side.name, counts[side.name], len(notes), sum(1 for note in notes if is_conflict_copy(note)),
                len(lost[side.name]), " ".join(lost[side.name][:20])), flush=True)
        if any(lost.values()):
            print(session.diagnostics(), file=sys.stderr)
        else:
            session.quit()
    finally:
        session.close()
    print("%d edits in %.1f minutes (%d orders refused); settled after %.1f s" % (
        len(tokens), args.minutes, refused, settled), flush=True)
    worst = max(len(found) for found in lost.values())
    result("Sync soak: edits typed on two programs kept in step by Syncthing (%g min)" % args.minutes,
           len(tokens), "edits")
    result("Sync soak: edits missing on either side once settled", worst, "edits", "0",
           "ok" if worst == 0 else "FAILED")
    return 0 if worst == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
