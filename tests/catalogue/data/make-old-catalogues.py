#!/usr/bin/env python3
"""Makes the catalogues of an earlier version that the upgrade tests start from, with the ctlgrm
of that version (version 2 built from commit c78d11e, version 3 from fb1b316, version 4 from
c66ee4a, version 5 from 9729c8c, version 6 from 617af38):

    make-old-catalogues.py VERSION OLD_CTLGRM OUTPUT_FOLDER

Writes catalogue-vVERSION.sqlite, catalogue-vVERSION.sql (a plain pg_dump of a PostgreSQL
catalogue of the same media), patterns (the test's search patterns, each ended by a NUL) and, for each store,
what the old program printed: media.out and find-N.out (its --media -0 and --find -0 outputs).
Run as root or as a user that may run a PostgreSQL server; TZ is UTC so dates print alike.
"""
import glob
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

PATTERNS = [b"", b"n", b".t", b"level", b"LEVEL1", b"bad", b"*.t", b"n?.t", b"?", b"bottom",
            b"\xc3\xa4rger", b"\xc3\x84RGER", b"%", b"_", b"\\", b"new\nline", b"tab\tname",
            b"*", b"sub", b"\xff", b"zzz-nothing"]


def make_tree(root):
    """Every byte 1-255 but "/" in a name, invalid UTF-8, a deep chain, a FIFO and a link."""
    os.makedirs(root)
    every = os.path.join(root, b"every byte")
    os.makedirs(every)
    for byte in range(1, 256):
        if byte != ord("/"):
            with open(os.path.join(every, b"n" + bytes([byte]) + b".t"), "wb") as f:
                f.write(b"x" * byte)
    for name in [b"bad\xff\xfe.bin", b"\xc3(invalid", b"\xed\xa0\x80surrogate",
                 b"\xc3\xa4rger.txt", b"new\nline", b"tab\tname", b"percent%_under",
                 b"back\\slash"]:
        with open(os.path.join(root, name), "wb") as f:
            f.write(name)
    deep = os.path.join(root, b"deep")
    for level in range(40):
        deep = os.path.join(deep, b"level%d" % level)
    os.makedirs(deep)
    with open(os.path.join(deep, b"bottom.txt"), "wb") as f:
        f.write(b"bottom")
    os.makedirs(os.path.join(root, b"empty sub"))
    os.mkfifo(os.path.join(root, b"pipe"))
    os.symlink(b"deep", os.path.join(root, b"link to deep"))
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            os.utime(os.path.join(folder, name), (1700000000, 1700000000), follow_symlinks=False)


def run(*args, allowed=(0,)):
    done = subprocess.run(list(args), stdout=subprocess.PIPE)
    if done.returncode not in allowed:
        raise SystemExit("failed: %r" % (args,))
    return done.stdout


def record(ctlgrm, catalogue, out):
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "media.out"), "wb") as f:
        f.write(run(ctlgrm, "--catalogue", catalogue, "--media", "-0"))
    for i, pattern in enumerate(PATTERNS):
        with open(os.path.join(out, "find-%d.out" % i), "wb") as f:
            # ctlgrm --find ends with 1 when nothing matches.
            f.write(run(ctlgrm, "--catalogue", catalogue, "--find", pattern, "-0", allowed=(0, 1)))


def add_media(ctlgrm, catalogue, tree):
    run(ctlgrm, "--catalogue", catalogue, "--add", "Hostile", tree, "-o", "/dev/null")
    run(ctlgrm, "--catalogue", catalogue, "--add", "Deep", os.path.join(tree, b"deep"), "-o",
        "/dev/null")


def postgres_dump(version, ctlgrm, tree, output, work):
    bin_dir = sorted(glob.glob("/usr/lib/postgresql/*/bin"))[-1]
    as_user = []
    if os.geteuid() == 0:
        user = "catalogrium-test"
        try:
            pwd.getpwnam(user)
        except KeyError:
            run("useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", user)
        shutil.chown(work, user, user)
        as_user = ["setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups", "--"]
    data = os.path.join(work, "data")
    run(*as_user, bin_dir + "/initdb", "-D", data, "-U", "postgres", "-A", "trust", "-E",
        "UTF8", "--locale=C.UTF-8")
    run(*as_user, bin_dir + "/pg_ctl", "-D", data, "-l", os.path.join(work, "log"), "-w", "-o",
        "-c listen_addresses='' -k " + work, "start")
    try:
        uri = "postgresql:///postgres?host=%s&user=postgres" % work
        add_media(ctlgrm, uri, tree)
        record(ctlgrm, uri, os.path.join(output, "postgres"))
        with open(os.path.join(output, "catalogue-v%s.sql" % version), "wb") as f:
            f.write(run(bin_dir + "/pg_dump", "--no-owner", "--no-privileges", "-h", work, "-U",
                        "postgres", "postgres"))
    finally:
        run(*as_user, bin_dir + "/pg_ctl", "-D", data, "-m", "immediate", "-w", "stop")


def main():
    version = sys.argv[1]
    ctlgrm, output = os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    os.environ["TZ"] = "UTC0"
    os.environ["LC_ALL"] = "C.UTF-8"
    work = tempfile.mkdtemp(prefix="ctlgrm-old-")
    os.chmod(work, 0o755)
    tree = os.path.join(work.encode(), b"tree")
    make_tree(tree)
    catalogue = os.path.join(output, "catalogue-v%s.sqlite" % version)
    if os.path.exists(catalogue):
        os.remove(catalogue)
    add_media(ctlgrm, catalogue, tree)
    run("sqlite3", catalogue, "PRAGMA journal_mode=DELETE")
    record(ctlgrm, catalogue, os.path.join(output, "sqlite"))
    with open(os.path.join(output, "patterns"), "wb") as f:
        f.write(b"".join(p + b"\0" for p in PATTERNS))
    pg_work = tempfile.mkdtemp(prefix="ctlgrm-old-pg-")
    postgres_dump(version, ctlgrm, tree, output, pg_work)
    shutil.rmtree(work)
    shutil.rmtree(pg_work)


if __name__ == "__main__":
    main()
