// The status log: hidden passwords, line colours and prefixes, and the trimming of old lines.

#include <gtest/gtest.h>

#include "ui/main_form.h"
#include "ui/guard.h"
#include "ui/status_log.h"
#include "tests/ui/ui_test_app.h"

#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QWheelEvent>

#include <cstdlib>
#include <memory>

namespace {

using statuslog::HidePassword;

TEST(StatusLogText, PasswordsNeverReachTheLog) {
    EXPECT_EQ(HidePassword("PASS secret<EOL>"), "PASS ****<EOL>");
    EXPECT_EQ(HidePassword("pass secret<EOL>"), "pass ****<EOL>");
    EXPECT_EQ(HidePassword("PASS <EOL>"), "PASS ****<EOL>");
    EXPECT_EQ(HidePassword("PASS a b c"), "PASS ****");
    EXPECT_EQ(HidePassword("USER bob<EOL>PASS s3cret<EOL>"), "USER bob<EOL>PASS ****<EOL>");
    EXPECT_EQ(HidePassword("PASS x\r\nNOOP\r\n"), "PASS ****\r\nNOOP\r\n");
    EXPECT_EQ(HidePassword("PASS x<CR>PASS y<LF>"), "PASS ****<CR>PASS ****<LF>");
    // Other commands pass unchanged, including ones that merely contain the word.
    EXPECT_EQ(HidePassword("USER bob<EOL>"), "USER bob<EOL>");
    EXPECT_EQ(HidePassword("PASV<EOL>"), "PASV<EOL>");
    EXPECT_EQ(HidePassword("RETR PASS word<EOL>"), "RETR PASS word<EOL>");
    EXPECT_EQ(HidePassword("PASS"), "PASS");
    EXPECT_EQ(HidePassword(""), "");
    EXPECT_EQ(statuslog::CommandLine("PASS hunter2<EOL>"), "Command:   PASS ****<EOL>");
}

TEST(StatusLogText, LinePrefixes) {
    EXPECT_EQ(statuslog::CommandLine("USER bob<EOL>"), "Command:   USER bob<EOL>");
    EXPECT_EQ(statuslog::ReplyLine("220 ready<EOL>"), std::string(20, ' ') + "220 ready<EOL>");
    EXPECT_EQ(statuslog::StatusLine("Connected."), "Status:         Connected.");
}

TEST(StatusLogWidget, KeepsLinesAndColoursAndTrimsTheOldest151) {
    EnsureApplication();
    TStatusLog log;
    EXPECT_EQ(log.LineCount(), 0);
    for (int i = 1; i <= 300; ++i) {
        log.Trim();
        log.AddLine(QStringLiteral("line %1").arg(i), i % 2 ? Qt::blue : Qt::black);
    }
    ASSERT_EQ(log.LineCount(), 300);
    EXPECT_EQ(log.LineText(0), QStringLiteral("line 1"));
    EXPECT_EQ(log.LineColor(0), QColor(Qt::blue));
    EXPECT_EQ(log.LineColor(1), QColor(Qt::black));

    log.Trim();  // 300 lines: nothing to do
    log.AddLine(QStringLiteral("line 301"), Qt::black);
    ASSERT_EQ(log.LineCount(), 301);

    log.Trim();
    ASSERT_EQ(log.LineCount(), 150);
    EXPECT_EQ(log.LineText(0), QStringLiteral("line 152"));
    EXPECT_EQ(log.LineColor(0), QColor(Qt::black));
    EXPECT_EQ(log.LineText(149), QStringLiteral("line 301"));
    log.AddLine(QStringLiteral("line 302"), Qt::green);
    EXPECT_EQ(log.LineCount(), 151);
    EXPECT_EQ(log.LineText(150), QStringLiteral("line 302"));
    EXPECT_EQ(log.LineColor(150), QColor(Qt::green));

    log.ClearLog();
    EXPECT_EQ(log.LineCount(), 0);
    log.AddLine(QStringLiteral("again"), Qt::blue);
    EXPECT_EQ(log.LineCount(), 1);
    EXPECT_EQ(log.LineText(0), QStringLiteral("again"));
}

// The line at the top of the log's view.
QString TopLine(TStatusLog& log) { return log.cursorForPosition(QPoint(4, 4)).block().text(); }

void Wheel(TStatusLog& log, int notches) {
    const QPoint at = log.viewport()->rect().center();
    QWheelEvent e(at, log.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(log.viewport(), &e);
}

TEST(StatusLogWidget, FollowsNewLinesOnlyAtTheEndAndClearsFromItsMenu) {
    EnsureApplication();
    TStatusLog log;
    log.resize(400, 200);
    log.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    QScrollBar* bar = log.verticalScrollBar();
    for (int i = 1; i <= 100; ++i) log.AddLine(QStringLiteral("line %1").arg(i), Qt::blue);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // Scrolled up with the wheel, new lines leave the view alone.
    Wheel(log, 5);
    ASSERT_LT(bar->value(), bar->maximum());
    const QString top = TopLine(log);
    const int value = bar->value();
    log.AddLine(QStringLiteral("line 101"), Qt::blue);
    EXPECT_EQ(bar->value(), value);
    EXPECT_EQ(TopLine(log), top);

    // The handle dragged to the bottom of the scroll bar: following again.
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Vertical;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = opt.sliderValue = bar->value();
    opt.pageStep = bar->pageStep();
    opt.singleStep = bar->singleStep();
    opt.subControls = QStyle::SC_All;
    const QPoint handle =
        bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, handle);
    QTest::mouseMove(bar, QPoint(handle.x(), bar->height() + 50));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(handle.x(), bar->height() + 50));
    ASSERT_EQ(bar->value(), bar->maximum());
    log.AddLine(QStringLiteral("line 102"), Qt::blue);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(log.cursorForPosition(QPoint(4, log.viewport()->height() - 4)).block().text(),
              QStringLiteral("line 102"));

    // Trimming while scrolled up keeps the same lines in view.
    for (int i = 103; i <= 301; ++i) log.AddLine(QStringLiteral("line %1").arg(i), Qt::blue);
    Wheel(log, 20);  // 60 lines up from the end
    const QString before = TopLine(log);
    log.Trim();
    ASSERT_EQ(log.LineCount(), 150);
    EXPECT_EQ(TopLine(log), before);
    EXPECT_LT(bar->value(), bar->maximum());

    // The pop-up menu's "Clear" empties the view.
    const QPoint at = log.viewport()->rect().center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, log.viewport()->mapToGlobal(at));
    QApplication::sendEvent(log.viewport(), &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* clear = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("Clear")) clear = a;
    ASSERT_NE(clear, nullptr);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(clear).center());
    EXPECT_EQ(log.LineCount(), 0);
    EXPECT_TRUE(log.toPlainText().isEmpty());
    log.AddLine(QStringLiteral("after"), Qt::blue);
    EXPECT_EQ(log.LineText(0), QStringLiteral("after"));
}

class LogHandlers : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(dataHome.isValid());
        setenv("XDG_DATA_HOME", dataHome.path().toUtf8().constData(), 1);
        form = std::make_unique<TMainForm>();
    }
    TStatusLog& Log() { return *form->StatusList; }
    QString Last() { return Log().LineText(Log().LineCount() - 1); }
    QColor LastColor() { return Log().LineColor(Log().LineCount() - 1); }

    QTemporaryDir dataHome;
    std::unique_ptr<TMainForm> form;
};

TEST_F(LogHandlers, CommandsRepliesAndStatusesHaveTheirColoursAndPrefixes) {
    EXPECT_EQ(Log().LineCount(), 0);
    form->IdFTP1Status(stStatusText, "Connecting to 127.0.0.1.");
    EXPECT_EQ(Last(), QStringLiteral("Status:         Connecting to 127.0.0.1."));
    EXPECT_EQ(LastColor(), QColor(0, 0, 255));

    form->IdLogEvent1Received("220 Welcome<EOL>");
    EXPECT_EQ(Last(), QString(20, QLatin1Char(' ')) + QStringLiteral("220 Welcome<EOL>"));
    EXPECT_EQ(LastColor(), QColor(0, 0, 0));

    form->IdLogEvent1Sent("USER tester<EOL>");
    EXPECT_EQ(Last(), QStringLiteral("Command:   USER tester<EOL>"));
    EXPECT_EQ(LastColor(), QColor(0, 128, 0));

    form->IdLogEvent1Sent("PASS secret<EOL>");
    EXPECT_EQ(Last(), QStringLiteral("Command:   PASS ****<EOL>"));
    EXPECT_EQ(Log().toPlainText().indexOf(QStringLiteral("secret")), -1);

    form->AddLogLine(QString(20, QLatin1Char(' ')) + QStringLiteral("Try 1 of 3 to connect on FTP server x"));
    EXPECT_EQ(LastColor(), QColor(0, 0, 255));
    EXPECT_EQ(Log().LineCount(), 5);
}

TEST_F(LogHandlers, ReceivedBytesThatAreNotUtf8StillShow) {
    form->IdLogEvent1Received(std::string("150 Opening \xFF\xFE.bin<EOL>"));
    EXPECT_TRUE(Last().endsWith(QStringLiteral(".bin<EOL>")));
}

TEST_F(LogHandlers, ChunkedResumedUploadsLogLess) {
    form->Transfer().UploadResumePhase = 1;
    form->IdLogEvent1Sent("APPE f<EOL>");
    form->IdLogEvent1Received("150 ok<EOL>");
    form->IdFTP1Status(stFtpTransfer, "Transferring");
    ASSERT_EQ(Log().LineCount(), 2);  // the command and the status, not the reply
    EXPECT_EQ(Log().LineText(0), QStringLiteral("Command:   APPE f<EOL>"));

    form->Transfer().UploadResumePhase = 2;
    form->IdLogEvent1Sent("APPE f<EOL>");
    form->IdLogEvent1Received("226 ok<EOL>");
    form->IdFTP1Status(stFtpTransfer, "Transferring");
    EXPECT_EQ(Log().LineCount(), 2);
}

TEST_F(LogHandlers, EveryHandlerTrimsEvenWhenItAddsNothing) {
    for (int i = 0; i < 301; ++i) form->AddLogLine(QStringLiteral("x%1").arg(i));
    ASSERT_EQ(Log().LineCount(), 301);
    form->Transfer().UploadResumePhase = 2;  // nothing is added in this phase
    form->IdLogEvent1Received("226 ok<EOL>");
    EXPECT_EQ(Log().LineCount(), 150);
    EXPECT_EQ(Log().LineText(0), QStringLiteral("x151"));

    // The session controller's lines are added without trimming.
    for (int i = 0; i < 200; ++i) form->AddLogLine(QStringLiteral("y"));
    EXPECT_EQ(Log().LineCount(), 350);
    form->Transfer().UploadResumePhase = 0;
    form->IdFTP1Status(stStatusText, "z");
    EXPECT_EQ(Log().LineCount(), 200);
    EXPECT_EQ(Last(), QStringLiteral("Status:         z"));
}

}  // namespace
