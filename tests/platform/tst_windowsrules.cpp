#include "TestMain.h"
#include "platform/OpenSshProgram.h"
#include "platform/PathInside.h"
#include "platform/win32/CommandLine.h"

// The Windows rules that are plain code, checked on every platform: command-line quoting, where the
// OpenSSH client is looked for, and the "inside a directory" check.
class WindowsRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void quotesArguments_data();
    void quotesArguments();
    void findsOpenSsh_data();
    void findsOpenSsh();
    void judgesInside_data();
    void judgesInside();
};

void WindowsRulesTest::quotesArguments_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "-tt"
                           << "-tt";
    QTest::newRow("empty") << ""
                           << "\"\"";
    QTest::newRow("blank") << "two words"
                           << "\"two words\"";
    QTest::newRow("quotes") << "say \"hi\""
                            << "\"say \\\"hi\\\"\"";
    QTest::newRow("backslashes without quote stay") << "\\\\server\\share\\"
                                                    << "\\\\server\\share\\";
    QTest::newRow("trailing backslash before closing quote") << "C:\\a b\\"
                                                             << "\"C:\\a b\\\\\"";
    QTest::newRow("backslashes before a quote doubled") << "a\\\\\"b"
                                                        << "\"a\\\\\\\\\\\"b\"";
    QTest::newRow("tab") << "a\tb"
                         << "\"a\tb\"";
    QTest::newRow("newline") << "a\nb"
                             << "\"a\nb\"";
}

void WindowsRulesTest::quotesArguments() {
    QFETCH(QString, argument);
    QFETCH(QString, quoted);
    QCOMPARE(QString::fromStdWString(win32::quoteArgument(argument.toStdWString())), quoted);
    const std::wstring line = win32::commandLine(L"C:\\Program Files\\x.exe", {argument.toStdWString()});
    QCOMPARE(QString::fromStdWString(line), "\"C:\\Program Files\\x.exe\" " + quoted);
    QVERIFY(win32::commandLine(L"C:\\a\"b.exe", {argument.toStdWString()}).empty());
}

void WindowsRulesTest::findsOpenSsh_data() {
    QTest::addColumn<bool>("shipped");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // "root:" + path below the system root, or the PATH answer
    QTest::newRow("shipped client first") << true << "ssh"
                                          << "root:/System32/OpenSSH/ssh.exe";
    QTest::newRow("PATH when not shipped") << false << "ssh"
                                           << "/usr/bin/ssh";
    QTest::newRow("neither") << false << "ssh-keyscan"
                             << "";
}

void WindowsRulesTest::findsOpenSsh() {
    QFETCH(bool, shipped);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("System32/OpenSSH"));
    if (shipped)
        QVERIFY(QFile(root.filePath("System32/OpenSSH/" + name + ".exe")).open(QIODevice::WriteOnly));
    const auto onPath = [](const QString& n) {
        return n == "ssh" ? QString("/usr/bin/ssh") : QString();
    };
    expected.replace("root:", root.path());
    QCOMPARE(platform::findOpenSshProgram(name, root.path(), onPath), expected);
}

void WindowsRulesTest::judgesInside_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inside");
    QTest::newRow("below") << "Source Dir/sub/file.txt" << true;
    QTest::newRow("itself") << "Source Dir" << true;
    QTest::newRow("sibling with longer name") << "Source Dir2/file.txt" << false;
    QTest::newRow("dot-dot out") << "Source Dir/../Source Dir2/file.txt" << false;
    QTest::newRow("dot-dot staying in") << "Source Dir/sub/../sub/file.txt" << true;
    QTest::newRow("link leading out") << "Source Dir/out/file.txt" << false;
    QTest::newRow("link leading in") << "in/sub/file.txt" << true;
    QTest::newRow("missing") << "Source Dir/missing" << false;
}

void WindowsRulesTest::judgesInside() {
    QFETCH(QString, path);
    QFETCH(bool, inside);
    QTemporaryDir dir;
    QDir d(dir.path());
    QVERIFY(d.mkpath("Source Dir/sub") && d.mkpath("Source Dir2"));
    QVERIFY(QFile(d.filePath("Source Dir/sub/file.txt")).open(QIODevice::WriteOnly));
    QVERIFY(QFile(d.filePath("Source Dir2/file.txt")).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(d.filePath("Source Dir2"), d.filePath("Source Dir/out")));
    QVERIFY(QFile::link(d.filePath("Source Dir"), d.filePath("in")));
    QCOMPARE(platform::isInsideDirectory(d.filePath(path), d.filePath("Source Dir")), inside);
}

ONDIVO_TEST_MAIN_CORE(WindowsRulesTest)
#include "tst_windowsrules.moc"
