// The prompts: Return alone never answers Yes, warnings reach the message
// hook, and link failures carry advice that fits the failure.

#include "CUiPrompts.h"
#include "LinkResult.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
// Presses a key on whichever message box is up once the event loop runs.
void PressOnBox(Qt::Key key)
{
    QTimer::singleShot(0, [key] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                QTest::keyClick(box, key);
                return;
            }
        }
    });
}
}   // namespace

TEST(UiPrompts, ReturnOnAQuestionAnswersNoAndEscapeToo)
{
    CUiPrompts::ClearHooks();
    PressOnBox(Qt::Key_Return);
    EXPECT_FALSE(CUiPrompts::AskYesNo(nullptr, QStringLiteral("지울까요?"), QStringLiteral("확인")));
    PressOnBox(Qt::Key_Escape);
    EXPECT_FALSE(CUiPrompts::AskYesNo(nullptr, QStringLiteral("지울까요?"), QStringLiteral("확인")));
    // Yes is still there for the user who clicks it.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(CUiPrompts::AskYesNo(nullptr, QStringLiteral("지울까요?"), QStringLiteral("확인")));
}

TEST(UiPrompts, WarningShowsTheWarningIconOrReachesTheHook)
{
    CUiPrompts::ClearHooks();
    QMessageBox::Icon seen = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&seen] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                seen = box->icon();
                box->accept();
            }
    });
    CUiPrompts::ShowWarning(nullptr, QStringLiteral("경고"), QStringLiteral("제목"));
    EXPECT_EQ(seen, QMessageBox::Warning);

    QStringList texts;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { texts << text; });
    CUiPrompts::ShowWarning(nullptr, QStringLiteral("저장 실패"), QStringLiteral("제목"));
    CUiPrompts::ClearHooks();
    EXPECT_EQ(texts, QStringList{QStringLiteral("저장 실패")});
}

TEST(UiPrompts, LinkFailureTextAdvisesByKindThenQuotesTheLink)
{
    const QString read = CUiPrompts::LinkFailureText(LINK_READ_FAILED, QStringLiteral("UART 읽기 실패 (-1092)"));
    const QStringList lines = read.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("전원")));
    EXPECT_EQ(lines[1], QStringLiteral("UART 읽기 실패 (-1092)"));

    EXPECT_TRUE(CUiPrompts::LinkFailureText(LINK_OPEN_FAILED, QStringLiteral("x")).contains(QStringLiteral("udev")));
    EXPECT_TRUE(CUiPrompts::LinkFailureText(LINK_CRC_ERROR, QStringLiteral("x")).contains(QStringLiteral("응답")));
    EXPECT_FALSE(CUiPrompts::LinkFailureText(LINK_CRC_ERROR, QStringLiteral("x")).contains(QStringLiteral("udev")));

    // A code without a message of its own still names itself.
    EXPECT_TRUE(CUiPrompts::LinkFailureText(LINK_UART_FLOW_FAILED, QString()).endsWith(QStringLiteral("(-1095)")));
    // A code without advice gets the link's text alone.
    EXPECT_EQ(CUiPrompts::LinkFailureText(-7, QStringLiteral("중단됨")), QStringLiteral("중단됨"));
}
