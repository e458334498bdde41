// ctlgrm's --which, --diff, --verify and the counts of --add --replace on both kinds of
// catalogue, checked against a reference written here in Python over os.walk and os.lstat.

#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The trees of the tests and the reference: `python3 -c kTrees COMMAND ...`.
//   make ROOT            a tree of files and folders, hostile names among them, every time fixed
//   snapshot ROOT OUT    every entry below ROOT: path, kind, size, whole seconds, content digest
//   change ROOT          the scripted changes
//   expect BEFORE AFTER CONTENTS   the lines --diff (CONTENTS 0) or --verify (1) must print
//   counts BEFORE AFTER  "N added, N removed, N changed, +B bytes" for a replace
constexpr const char* kTrees = R"PY(
import hashlib, os, stat, sys

T0 = 1600000000

def write(path, data, when=T0):
    with open(path, 'wb') as f:
        f.write(data)
    os.utime(path, (when, when))

HOSTILE = [b'tab\there', b'line\nbreak', b'bell\x07', b'bad\xff\xfeutf8', b'back\\slash',
           b'c1\xc2\x85next', b'del\x7f', b'cr\rx']

def make(root):
    for folder in [b'keep', b'keep/deep', b'gone', b'grow', b'odd']:
        os.makedirs(os.path.join(root, folder))
    for i in range(5):
        write(os.path.join(root, b'keep/file%d.txt' % i), b'x' * (10 + i))
        write(os.path.join(root, b'keep/deep/d%d' % i), b'deep %d' % i)
        write(os.path.join(root, b'gone/g%d' % i), b'gone')
    for name in [b'resize', b'retime', b'rot', b'tofolder', b'tolink', b'remove']:
        write(os.path.join(root, b'grow', name), b'0123456789')
    os.makedirs(os.path.join(root, b'grow/tofile'))
    for i, name in enumerate(HOSTILE):
        write(os.path.join(root, b'odd', name), b'h' * i)
    os.symlink(b'keep/file0.txt', os.path.join(root, b'alink'))
    os.mkfifo(os.path.join(root, b'pipe'))
    fix_folder_times(root)

def fix_folder_times(root):
    for folder, dirs, files in os.walk(root, topdown=False):
        for d in dirs:
            p = os.path.join(folder, d)
            if not os.path.islink(p):
                os.utime(p, (T0, T0))

def kind(mode):
    if stat.S_ISDIR(mode): return 'folder'
    if stat.S_ISLNK(mode): return 'link'
    if stat.S_ISREG(mode): return 'file'
    return 'other'

def snapshot(root, out):
    with open(out, 'w') as f:
        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                p = os.path.join(folder, name)
                st = os.lstat(p)
                digest = '-'
                if stat.S_ISREG(st.st_mode):
                    digest = hashlib.sha256(open(p, 'rb').read()).hexdigest()
                f.write('%s %s %d %d %s\n' % (os.path.relpath(p, root).hex(), kind(st.st_mode),
                                              st.st_size, st.st_mtime_ns // 10**9, digest))

def load(path):
    tree = {}
    for line in open(path):
        h, k, size, when, digest = line.split()
        tree[bytes.fromhex(h)] = (k, int(size), int(when), digest)
    return tree

def change(root):
    j = lambda *parts: os.path.join(root, *parts)
    os.remove(j(b'grow/remove'))
    for name in os.listdir(j(b'gone')):
        os.remove(j(b'gone', name))
    os.rmdir(j(b'gone'))
    write(j(b'keep/new.txt'), b'new')
    os.makedirs(j(b'born/inner'))
    write(j(b'born/inner/b'), b'born')
    with open(j(b'grow/resize'), 'ab') as f:
        f.write(b'more')
    os.utime(j(b'grow/retime'), (T0 + 3600, T0 + 3600))
    rot = j(b'grow/rot')
    before = os.stat(rot)
    with open(rot, 'r+b') as f:
        f.seek(4)
        f.write(b'X')
    os.utime(rot, ns=(before.st_atime_ns, before.st_mtime_ns))
    os.remove(j(b'grow/tofolder'))
    os.makedirs(j(b'grow/tofolder'))
    os.remove(j(b'grow/tolink'))
    os.symlink(b'resize', j(b'grow/tolink'))
    os.rmdir(j(b'grow/tofile'))
    write(j(b'grow/tofile'), b'')
    os.remove(j(b'odd', HOSTILE[0]))
    write(j(b'odd', b'added\tnew\xff'), b'')
    with open(j(b'odd', HOSTILE[3]), 'ab') as f:
        f.write(b'!')
    os.utime(j(b'odd', HOSTILE[3]), (T0, T0))

def escape(raw):
    out = []
    for c in raw.decode('utf-8', 'surrogateescape'):
        o = ord(c)
        if 0xdc80 <= o <= 0xdcff: out.append('\\x%02x' % (o - 0xdc00))
        elif c == '\\': out.append('\\\\')
        elif c == '\t': out.append('\\t')
        elif c == '\n': out.append('\\n')
        elif c == '\r': out.append('\\r')
        elif o < 0x20 or o == 0x7f: out.append('\\x%02x' % o)
        elif 0x80 <= o <= 0x9f: out.append(''.join('\\x%02x' % b for b in c.encode()))
        else: out.append(c)
    return ''.join(out)

def differences(before, after, contents):
    for path in sorted(set(before) | set(after)):
        if path not in after:
            yield '-', path, None
        elif path not in before:
            yield '+', path, None
        else:
            (k0, s0, t0, d0), (k1, s1, t1, d1) = before[path], after[path]
            fields = []
            if 'folder' not in (k0, k1) and s0 != s1: fields.append('size')
            if t0 != t1: fields.append('time')
            if k0 != k1: fields.append('kind')
            if fields:
                yield '~', path, '|'.join(fields)
            elif contents and d0 != '-' and d0 != d1:
                yield '!', path, None

def expect(before, after, contents):
    for mark, path, fields in differences(load(before), load(after), contents == '1'):
        line = mark + '\t' + escape(path) + ('\t' + fields if fields else '')
        sys.stdout.buffer.write(line.encode('utf-8', 'surrogateescape') + b'\n')

def counts(before, after):
    b, a = load(before), load(after)
    marks = [m for m, _, _ in differences(b, a, False)]
    files = lambda tree: sum(s for k, s, _, _ in tree.values() if k != 'folder')
    delta = files(a) - files(b)
    print('%d added, %d removed, %d changed, %s%d bytes' % (marks.count('+'), marks.count('-'),
          marks.count('~'), '-' if delta < 0 else '+', abs(delta)), end='')

command, args = sys.argv[1], [a.encode() if i == 0 else a for i, a in enumerate(sys.argv[2:])]
if command == 'make': make(args[0])
elif command == 'snapshot': snapshot(args[0], args[1])
elif command == 'change': change(args[0])
elif command == 'expect': expect(*sys.argv[2:5])
elif command == 'counts': counts(*sys.argv[2:4])
)PY";

class CtlgrmDiff : public CatalogueTest {
protected:
    FinishedCommand Ctlgrm(std::vector<std::string> args) {
        args.insert(args.begin(), {CTLGRM_PATH, "--catalogue", Location()});
        return Spawn(args);
    }
    FinishedCommand Spawn(const std::vector<std::string>& argv) {
        return RunToEnd(m_dir.path(), argv,
                        EnvironmentWith({"TZ=UTC0", "XDG_CONFIG_HOME=" + m_dir.str()}));
    }
    std::string Python(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"/usr/bin/env", "python3", "-c", kTrees};
        argv.insert(argv.end(), args.begin(), args.end());
        const FinishedCommand run = Spawn(argv);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    }
    std::string Snapshot(const std::string& name) {
        const std::string path = (m_dir.path() / name).string();
        Python({"snapshot", Tree(), path});
        return path;
    }
    std::string Tree() const { return (m_dir.path() / "tree").string(); }
    // Adds the tree as medium `name`: what ctlgrm wrote on its standard error.
    std::string AddTree(const std::string& name, std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"--add", name, "-o", "/dev/null"});
        options.push_back(Tree());
        const FinishedCommand added = Ctlgrm(options);
        EXPECT_EQ(added.status, 0) << added.err;
        return added.err;
    }
};

// Every scripted change is found, with the fields that changed, and nothing else: deletions of
// files and of a folder with its files, additions, sizes, times, kinds (a file that became a
// folder or a link, a folder that became a file) and names that a terminal would act on. A
// change of content alone is no difference for --diff.
TEST_P(CtlgrmDiff, FindsEveryScriptedChangeAndNothingElse) {
    Python({"make", Tree()});
    const std::string before = Snapshot("before");
    AddTree("Disc");
    const FinishedCommand same = Ctlgrm({"--diff", "Disc", Tree()});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "");

    Python({"change", Tree()});
    const std::string after = Snapshot("after");
    const std::string expected = Python({"expect", before, after, "0"});
    ASSERT_THAT(expected, HasSubstr("~\tgrow/tolink\tsize|time|kind\n")); // the reference works
    const FinishedCommand changed = Ctlgrm({"--diff", "Disc", Tree() + "/"});
    EXPECT_EQ(changed.status, 1) << changed.err;
    EXPECT_EQ(changed.out, expected);
    EXPECT_EQ(changed.err, "");
}

// With the hashes kept by --checksums, --verify also finds the one-byte change whose size and
// time were put back (bit rot), and --diff does not; everything else as --diff finds it.
TEST_P(CtlgrmDiff, VerifyFindsContentThatChangedUnderTheSameSizeAndTime) {
    Python({"make", Tree()});
    const std::string before = Snapshot("before");
    AddTree("Disc", {"--checksums"});
    const FinishedCommand same = Ctlgrm({"--verify", "Disc", Tree()});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "");

    Python({"change", Tree()});
    const std::string after = Snapshot("after");
    const std::string expected = Python({"expect", before, after, "1"});
    ASSERT_THAT(expected, HasSubstr("\n!\tgrow/rot\n")); // the reference works
    const FinishedCommand verified = Ctlgrm({"--verify", "Disc", Tree()});
    EXPECT_EQ(verified.status, 1) << verified.err;
    EXPECT_EQ(verified.out, expected);
    const FinishedCommand diff = Ctlgrm({"--diff", "Disc", Tree()});
    EXPECT_EQ(diff.status, 1) << diff.err;
    EXPECT_EQ(diff.out, Python({"expect", before, after, "0"}));
    EXPECT_THAT(diff.out, ::testing::Not(HasSubstr("!\t")));
}

// A medium without hashes cannot be verified: --verify says so with status 2 rather than
// report a folder whose content it never compared as unchanged.
TEST_P(CtlgrmDiff, VerifyRefusesAMediumAddedWithoutChecksums) {
    m_dir.WriteFile("tree/file", "x");
    AddTree("Disc");
    const FinishedCommand verified = Ctlgrm({"--verify", "Disc", Tree()});
    EXPECT_EQ(verified.status, 2);
    EXPECT_THAT(verified.err, HasSubstr("without --checksums"));
    EXPECT_EQ(verified.out, "");
}

// --replace tells the counts of the same comparison before the old medium goes; the new one is
// then the folder as it is.
TEST_P(CtlgrmDiff, ReplaceTellsTheCountsOfTheChanges) {
    Python({"make", Tree()});
    const std::string before = Snapshot("before");
    AddTree("Disc");
    Python({"change", Tree()});
    const std::string after = Snapshot("after");
    const std::string counts = Python({"counts", before, after});
    ASSERT_THAT(counts, StartsWith("5 added, 8 removed, "));
    EXPECT_THAT(AddTree("Disc", {"--replace"}), HasSubstr(": " + counts + "\n"));
    const FinishedCommand now = Ctlgrm({"--diff", "Disc", Tree()});
    EXPECT_EQ(now.status, 0) << now.out;
}

// 2 when the comparison cannot be made: no such medium, no folder, no catalogue.
TEST_P(CtlgrmDiff, FailsWithStatus2WhenItCannotCompare) {
    m_dir.WriteFile("tree/file", "x");
    AddTree("Disc");
    const FinishedCommand unknown = Ctlgrm({"--diff", "Other", Tree()});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.err, HasSubstr("Other"));
    const FinishedCommand missing = Ctlgrm({"--diff", "Disc", Tree() + "/missing"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("cannot read"));
    EXPECT_EQ(missing.out, "");
    if (IsSqlite()) {
        const FinishedCommand none =
            Spawn({CTLGRM_PATH, "--catalogue", (m_dir.path() / "none.sqlite").string(), "--diff",
                   "Disc", Tree()});
        EXPECT_EQ(none.status, 2);
    }
}

// Two ext4 volumes on loop devices in a mount namespace of its own, with the links to them by
// UUID that udev makes (bound over /dev there, as no udev runs here). The media added from the
// first volume mounted on a/ are found again once it is mounted on b/, by the folder within the
// volume; the second volume, with the same folders, holds none of them. The output is the
// script's: each --which's records, then its status.
constexpr const char* kMountScript = R"SH(
set -eu
ctlgrm=$1 catalogue=$2 t=$3
volume() { # NAME UUID: a loop device holding a new ext4 volume
    truncate -s 8M "$t/$1.img"
    mkfs.ext4 -q -F -U "$2" "$t/$1.img"
    losetup -f --show "$t/$1.img"
}
one=$(volume one 0b5c7f0e-1d2a-4c3b-9e8f-112233445566)
two=$(volume two 7a6b5c4d-3e2f-4a1b-8c9d-665544332211)
trap 'umount -l "$t/a" "$t/b" "$t/c" 2>/dev/null || true; losetup -d "$one" "$two"' EXIT
mkdir -p "$t/dev/disk/by-uuid" "$t/a" "$t/b" "$t/c"
cp -a /dev/null /dev/zero /dev/urandom "$one" "$two" "$t/dev/"
ln -s "../../${one#/dev/}" "$t/dev/disk/by-uuid/0b5c7f0e-1d2a-4c3b-9e8f-112233445566"
ln -s "../../${two#/dev/}" "$t/dev/disk/by-uuid/7a6b5c4d-3e2f-4a1b-8c9d-665544332211"
mount --bind "$t/dev" /dev
mount "$one" "$t/a"
mkdir -p "$t/a/photos/2024"
echo picture > "$t/a/photos/2024/p.jpg"
"$ctlgrm" --catalogue "$catalogue" --add Photos -o /dev/null "$t/a/photos"
"$ctlgrm" --catalogue "$catalogue" --add Whole -o /dev/null "$t/a"
umount "$t/a"
mount "$one" "$t/b"
mount "$two" "$t/c"
mkdir -p "$t/c/photos"
set +e
for folder in "$t/b/photos" "$t/b/photos/" "$t/b" "$t/b/photos/2024" "$t/c/photos" "$t/a"; do
    "$ctlgrm" --catalogue "$catalogue" --which "$folder"
    echo "status $?"
done
)SH";

TEST_P(CtlgrmDiff, WhichFindsTheMediumOfAFolderWhereverItsVolumeIsMounted) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a volume on a loop device needs root";
    const FinishedCommand run = Spawn({"/usr/bin/env", "unshare", "-m", "sh", "-c", kMountScript,
                                       "sh", CTLGRM_PATH, Location(), m_dir.str()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string date = "\t[-0-9]+ [:0-9]+\n";
    const std::string photos = "Photos\t" + m_dir.str() + "/a/photos\t1\t8" + date;
    const std::string whole = "Whole\t" + m_dir.str() + "/a\t[0-9]+\t[0-9]+" + date;
    EXPECT_THAT(run.out,
                ::testing::MatchesRegex(photos + "status 0\n" + photos + "status 0\n" + whole +
                                        "status 0\n" + "status 1\n" + "status 1\n" + "status 1\n"))
        << run.err;
}

INSTANTIATE_TEST_SUITE_P(Backends, CtlgrmDiff, ::testing::Values("sqlite", "postgres"),
                         BackendName);

} // namespace
