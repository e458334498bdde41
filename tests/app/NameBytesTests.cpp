// Names that are not UTF-8, as an old CD's Latin-1 names are: how the window shows them and
// what it hands to a shell and a file manager.
#include "shell/NameBytes.h"
#include "tests/support/RunCommand.h"

#include <QByteArray>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(NameBytesTest, ReadableNameShowsEachInvalidByteAsLatinOneAndControlsAsQuestionMarks) {
    EXPECT_EQ(ReadableName("caf\xc3\xa9"), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(ReadableName("caf\xe9"), QString::fromUtf8("caf\u00e9"));
    // A sequence cut short, and a byte that never starts one.
    EXPECT_EQ(ReadableName("a\xe2\x82"
                           "b\xff"),
              QString::fromUtf8("a\u00e2\u0082b\u00ff").replace(QChar(0x82), QLatin1Char('?')));
    EXPECT_EQ(ReadableName("line\nbreak\x7f"), QStringLiteral("line?break?"));
}

// Every byte but NUL and '/', alone and beside a quote: a path that is not plain UTF-8 text
// comes back from bash as it went in, and a plain one is the text itself.
TEST(NameBytesTest, PathTextGivesEveryByteBackThroughAShell) {
    std::vector<std::string> paths;
    for (int byte = 1; byte < 256; ++byte) {
        const std::string path = "/media/disc/a" + std::string(1, static_cast<char>(byte)) + "b'c";
        if (byte >= 0x20 && byte < 0x7F)
            EXPECT_EQ(PathText(path).toStdString(), path);
        else if (byte != '/')
            paths.push_back(path);
    }
    paths.push_back("/media/disc/caf\xe9 \xc3\xa9t\xc3\xa9/it's");
    QString script = QStringLiteral("printf '%s\\0'");
    for (const std::string& path : paths)
        script += QLatin1Char(' ') + PathText(path);
    const CommandResult bash = RunCommand({"bash", "-c", script.toStdString()});
    ASSERT_EQ(bash.status, 0);
    const QList<QByteArray> back = QByteArray::fromStdString(bash.out).split('\0');
    ASSERT_EQ(back.size(), static_cast<qsizetype>(paths.size()) + 1); // after the last NUL
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(back[static_cast<qsizetype>(i)].toStdString(), paths[i]) << i;
}

TEST(NameBytesTest, CopiedPathKeepsItsBytesInTheUriList) {
    const std::string path = "/media/disc/caf\xe9/50% #1?.txt";
    const auto data = PathMimeData(path);
    ASSERT_EQ(data->urls().size(), 1);
    const QByteArray uri = data->urls()[0].toEncoded();
    ASSERT_TRUE(uri.startsWith("file://"));
    EXPECT_EQ(QByteArray::fromPercentEncoding(uri.mid(7)).toStdString(), path);
    // Valid UTF-8 without controls goes as it is.
    EXPECT_EQ(PathMimeData("/media/disc/\xc3\xa9t\xc3\xa9")->text(),
              QString::fromUtf8("/media/disc/\u00e9t\u00e9"));
}

} // namespace
