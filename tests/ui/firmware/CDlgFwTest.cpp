// The firmware dialog and its upload procedure on the simulated meter, with
// a driven clock: checking the chosen file, the three phases of the upload
// with every progress step, the failures that end it, and the log button.

#include "CDlgFw.h"
#include "CDlgLog.h"
#include "CFt260.h"
#include "CMeterSession.h"
#include "CManualClock.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CUiPrompts.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QGroupBox>
#include <QThread>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// One step of the progress bar as the user saw it.
struct Step {
    int value;
    QString text;
    bool closeEnabled;
    bool waitCursor;
};

// An image with the given head marker and a body that differs from byte to
// byte, so a piece sent twice or out of place shows.
QByteArray MakeImage(int size, uint8_t head0 = 0x33, uint8_t head1 = 0x55)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + i / 251) & 0xFF);
    if (size > 0)
        image[0] = char(head0);
    if (size > 1)
        image[1] = char(head1);
    return image;
}

class FirmwareDialogTest : public ::testing::Test {
protected:
    FirmwareDialogTest()
        : meter(clock)
        , bridge(meter, clock)
        , session(bridge, clock)
        , logWindow(nullptr, std::string(), clock)
        , dlg(nullptr, clock, &logWindow)
    {
        session.StartDetect();
        session.WaitForIdle(30000);
        dlg.m_pSession = &session;
        CUiPrompts::SetOpenFileHook(
            [this](const QString&, const QString& filter, const QString& directory) {
                lastFilter = filter;
                lastDirectory = directory;
                ++fileDialogs;
                return nextPath;
            });
        QObject::connect(Progress(), &QProgressBar::valueChanged, Progress(), [this](int value) {
            steps.push_back({value, Progress()->text(), Close()->isEnabled(),
                             QApplication::overrideCursor()
                                 && QApplication::overrideCursor()->shape() == Qt::WaitCursor});
            if (onStep)
                onStep(value);
        });
        dlg.show();
    }
    ~FirmwareDialogTest() override { CUiPrompts::ClearHooks(); }

    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void Choose(const QString& path)
    {
        nextPath = path;
        Button(CDlgFw::IDC_BUTTON_FILE)->click();
    }
    // Chooses an image of this size and uploads it.
    void UploadImage(const QByteArray& image)
    {
        Choose(WriteFile(QStringLiteral("image.bin"), image));
        ASSERT_TRUE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled()) << Status().toStdString();
        steps.clear();
        Button(CDlgFw::IDC_BUTTON_UPLOAD)->click();
        ASSERT_TRUE(session.WaitForIdle(60000));
    }
    // Runs action on the link's thread at the count-th pause of ms
    // milliseconds from now: a known point between two exchanges.
    void AtPause(int ms, int count, std::function<void()> action)
    {
        auto seen = std::make_shared<int>(0);
        clock.SetSleepHook([=](int slept) {
            if (slept == ms && ++*seen == count)
                action();
        });
    }
    std::vector<int> Values() const
    {
        std::vector<int> values;
        for (const Step& step : steps)
            values.push_back(step.value);
        return values;
    }
    // After every upload the close button is open again. A complete one has
    // used the image up; after a failure the bar says that it stopped and
    // the same image may be uploaded again.
    void ExpectUploadEnded(bool complete = true)
    {
        EXPECT_EQ(dlg.m_firmware.IsImageReady(), !complete);
        EXPECT_EQ(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled(), !complete);
        EXPECT_EQ(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled(), !complete);
        if (!complete)
            EXPECT_TRUE(Progress()->text().startsWith(QStringLiteral("업로드 중지 ("))) << Progress()->text().toStdString();
        EXPECT_TRUE(Button(CDlgFw::IDC_BUTTON_FILE)->isEnabled());
        EXPECT_TRUE(Close()->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        for (const Step& step : steps) {
            EXPECT_FALSE(step.closeEnabled) << step.value;
            EXPECT_TRUE(step.waitCursor) << step.value;
        }
    }

    QPushButton* Button(int id) { return dlg.GetDlgItemAs<QPushButton>(id); }
    QPushButton* Close() { return Button(IDCANCEL); }
    QProgressBar* Progress() { return dlg.GetDlgItemAs<QProgressBar>(CDlgFw::IDC_PROGRESS); }
    QString Status() { return dlg.GetDlgItemAs<QLabel>(CDlgFw::IDC_STATIC_STATUS)->text(); }
    QString Path() { return dlg.GetDlgItemAs<QLineEdit>(CDlgFw::IDC_EDIT_PATH)->text(); }
    QByteArray MeterImage()
    {
        const std::vector<uint8_t>& image = meter.GetFirmwareImage();
        return QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()));
    }

    QTemporaryDir dir;
    CManualClock clock;
    CSimMeter meter;
    CSimBridge bridge;
    CMeterSession session;
    CDlgLog logWindow;
    CDlgFw dlg;
    QString nextPath;
    QString lastFilter;
    QString lastDirectory;
    int fileDialogs = 0;
    std::vector<Step> steps;
    std::function<void(int)> onStep;
};

const QString kDone = QStringLiteral("펌웨어 업데이트 완료");
const QString kNotImage = QStringLiteral("상태 : 정상적인 펌웨어 파일이 아닙니다.");

TEST_F(FirmwareDialogTest, HeadMarkerDecidesWhetherAFileIsAnImage)
{
    EXPECT_EQ(Status(), QStringLiteral("상태 : 파일 선택"));
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled());

    const QString first = WriteFile(QStringLiteral("a.bin"), MakeImage(300, 0x33, 0x55));
    Choose(first);
    EXPECT_EQ(lastFilter, QStringLiteral("펌웨어 이미지 파일 (*.bin);;All Files (*.*)"));
    EXPECT_EQ(lastDirectory, QStringLiteral("."));
    EXPECT_EQ(Status(), QStringLiteral("상태 : 파일 읽기 성공 (파일사이즈 : 300)"));
    EXPECT_EQ(Path(), first);
    EXPECT_EQ(Progress()->value(), 0);
    EXPECT_EQ(Progress()->text(), QStringLiteral("업로드 대기중."));
    EXPECT_TRUE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());
    EXPECT_TRUE(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled());
    EXPECT_EQ(dlg.m_firmware.ImageSize(), 300u);

    Choose(WriteFile(QStringLiteral("b.bin"), MakeImage(40, 0x21, 0x6F)));
    EXPECT_EQ(Status(), QStringLiteral("상태 : 파일 읽기 성공 (파일사이즈 : 40)"));
    EXPECT_TRUE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());

    // The marker the wrong way round, a single byte and an empty file.
    const QByteArray refused[] = {MakeImage(300, 0x55, 0x33), QByteArray(1, '\x33'), QByteArray()};
    for (const QByteArray& bytes : refused) {
        Choose(WriteFile(QStringLiteral("c.bin"), MakeImage(100)));
        Choose(WriteFile(QStringLiteral("refused.bin"), bytes));
        EXPECT_EQ(Status(), kNotImage) << bytes.size();
        EXPECT_FALSE(dlg.m_firmware.IsImageReady());
        EXPECT_EQ(dlg.m_firmware.ImageSize(), 0u);
        EXPECT_TRUE(dlg.m_firmware.m_pImage.empty());
        EXPECT_EQ(Progress()->text(), QStringLiteral("업로드 대기중."));
        EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());
        EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled());
        EXPECT_TRUE(Button(CDlgFw::IDC_BUTTON_FILE)->isEnabled());
    }
}

TEST_F(FirmwareDialogTest, CancelledOrUnopenableChoiceKeepsWhatTheUserSees)
{
    const QString path = WriteFile(QStringLiteral("a.bin"), MakeImage(500));
    Choose(path);
    const QString status = Status();

    Choose(QString());   // the file dialog cancelled
    EXPECT_EQ(fileDialogs, 2);
    EXPECT_TRUE(dlg.m_firmware.IsImageReady());
    EXPECT_EQ(dlg.m_firmware.ImageSize(), 500u);
    EXPECT_EQ(Status(), status);
    EXPECT_EQ(Path(), path);
    EXPECT_TRUE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());

    // A file that will not open clears only the image state.
    Choose(dir.filePath(QStringLiteral("missing.bin")));
    EXPECT_FALSE(dlg.m_firmware.IsImageReady());
    EXPECT_EQ(Status(), status);
    EXPECT_EQ(Path(), path);
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled());
}

TEST_F(FirmwareDialogTest, FileOverTheSizeLimitIsRefusedWithoutReadingIt)
{
    const auto sparse = [this](const QString& name, qint64 size) {
        const QString path = WriteFile(name, MakeImage(16));
        QFile file(path);
        EXPECT_TRUE(file.resize(size));
        return path;
    };
    Choose(sparse(QStringLiteral("limit.bin"), CFirmwareUpload::kMaxImageSize));
    EXPECT_TRUE(dlg.m_firmware.IsImageReady());
    EXPECT_EQ(dlg.m_firmware.ImageSize(), CFirmwareUpload::kMaxImageSize);

    Choose(sparse(QStringLiteral("huge.bin"), qint64(CFirmwareUpload::kMaxImageSize) + 1));
    EXPECT_EQ(Status(), kNotImage);
    EXPECT_FALSE(dlg.m_firmware.IsImageReady());
    EXPECT_EQ(dlg.m_firmware.ImageSize(), 0u);
    EXPECT_EQ(dlg.m_firmware.m_pImage.capacity(), 0u);
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());

    // Even driven past its disabled button, the upload has nothing to send.
    dlg.OnUpload();
    EXPECT_EQ(Status(), QStringLiteral("파일 내용 없음"));
    EXPECT_EQ(meter.GetRequestCount(), 0);
}

TEST_F(FirmwareDialogTest, DropClearsThePathAndDisablesTheUpload)
{
    Choose(WriteFile(QStringLiteral("a.bin"), MakeImage(100)));
    Button(CDlgFw::IDC_BUTTON_DROP)->click();
    EXPECT_EQ(Status(), QStringLiteral("펌웨어 업데이트 취소"));
    EXPECT_TRUE(Path().isEmpty());
    EXPECT_FALSE(dlg.m_firmware.IsImageReady());
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_UPLOAD)->isEnabled());
    EXPECT_FALSE(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled());
}

TEST_F(FirmwareDialogTest, SingleChunkImageRunsThroughEveryStep)
{
    const QByteArray image = MakeImage(1026);
    UploadImage(image);

    EXPECT_EQ(Values(), (std::vector<int>{5, 10, 15, 20, 100}));
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[0].text, QStringLiteral("5% - 펌웨어 업데이트 요청"));
    EXPECT_EQ(steps[1].text, QStringLiteral("10% - 펌웨어 업데이트 요청 완료"));
    EXPECT_EQ(steps[2].text, QStringLiteral("15% - 펌웨어 헤더 전송"));
    EXPECT_EQ(steps[3].text, QStringLiteral("20% - 펌웨어 해저 전송 완료"));
    EXPECT_EQ(steps[4].text, QStringLiteral("100% -  데이터 업로드 완료(100.0%)..."));
    EXPECT_EQ(Status(), kDone);
    EXPECT_EQ(MeterImage(), image);
    EXPECT_EQ(meter.GetFirmwareChunks(), 1);
    // The fixed pauses alone come to 1.1 s for one piece.
    EXPECT_GE(clock.SleptMs(), 1100);
    ExpectUploadEnded();
    // The bar keeps its last step.
    EXPECT_EQ(Progress()->value(), 100);
}

TEST_F(FirmwareDialogTest, ProgressFollowsThePiecesSent)
{
    const QByteArray two = MakeImage(2050);
    UploadImage(two);
    EXPECT_EQ(Values(), (std::vector<int>{5, 10, 15, 20, 60, 100}));
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps[4].text, QStringLiteral("60% -  데이터 업로드 중(50.0%)..."));
    EXPECT_EQ(steps[5].text, QStringLiteral("100% -  데이터 업로드 완료(100.0%)..."));
    EXPECT_EQ(MeterImage(), two);
    EXPECT_EQ(Status(), kDone);
    ExpectUploadEnded();

    // One byte more than a whole piece: the last piece carries that byte.
    const QByteArray odd = MakeImage(1027, 0x21, 0x6F);
    UploadImage(odd);
    EXPECT_EQ(Values(), (std::vector<int>{5, 10, 15, 20, 99, 100}));
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps[4].text, QStringLiteral("99% -  데이터 업로드 중(99.9%)..."));
    EXPECT_EQ(meter.GetFirmwareChunks(), 2);
    EXPECT_EQ(MeterImage(), odd);
    EXPECT_EQ(Status(), kDone);

    // A bare head marker has no body: done right after the head.
    const QByteArray bare = MakeImage(2);
    UploadImage(bare);
    EXPECT_EQ(Values(), (std::vector<int>{5, 10, 15, 20}));
    EXPECT_EQ(MeterImage(), bare);
    EXPECT_EQ(Status(), kDone);
    ExpectUploadEnded();
}

TEST_F(FirmwareDialogTest, CrcErrorStopsTheUploadWhereItWas)
{
    ASSERT_TRUE(bridge.SetFault("fw-crc:3"));
    UploadImage(MakeImage(4000));
    // 20 + 80 * 1026 / 4000 = 40, 20 + 80 * 2050 / 4000 = 61; the third piece fails.
    EXPECT_EQ(Values(), (std::vector<int>{5, 10, 15, 20, 40, 61}));
    EXPECT_EQ(Progress()->value(), 61);
    EXPECT_EQ(Progress()->text(), QStringLiteral("업로드 중지 (61%) : 펌웨어 파일 업로드 CRC 에러"));
    EXPECT_EQ(Status(), QStringLiteral("펌웨어 파일 업로드 CRC 에러"));
    EXPECT_EQ(meter.GetFirmwareChunks(), 3);
    ExpectUploadEnded(false);
}

TEST_F(FirmwareDialogTest, FailedDataExchangeEndsTheUploadInsteadOfLeavingAHole)
{
    const QByteArray image = MakeImage(4000);
    // The bridge stops writing once the first piece is through: in the
    // pause before the second piece (the third pause of 100 ms).
    AtPause(100, 3, [this] { bridge.SetWriteFail(true); });
    UploadImage(image);
    clock.SetSleepHook(nullptr);

    EXPECT_EQ(Values(), (std::vector<int>{5, 10, 15, 20, 40}));
    EXPECT_EQ(Progress()->value(), 40);
    const QString expected = QStringLiteral("펌웨어 데이터 전송 실패 ")
                           + QString::fromStdString(session.Link().GetErrorText());
    EXPECT_EQ(Status(), expected);
    EXPECT_FALSE(session.Link().GetErrorText().empty());
    EXPECT_NE(Status(), kDone);
    // The meter holds the head and the first piece, nothing after a gap.
    EXPECT_EQ(MeterImage(), image.left(1026));
    ExpectUploadEnded(false);
}

TEST_F(FirmwareDialogTest, FailedRequestOrHeadExchangeIsReportedWithTheLinkMessage)
{
    ASSERT_TRUE(bridge.SetFault("no-reply"));
    UploadImage(MakeImage(1026));
    EXPECT_EQ(Values(), (std::vector<int>{5}));
    EXPECT_EQ(Status(), QStringLiteral("펌웨어 업데이트 요청 실패 ")
                            + QString::fromStdString(session.Link().GetErrorText()));
    ExpectUploadEnded(false);

    // The meter is back: the same image goes again without choosing it;
    // the bridge fails in the pause before the head (the second of 300 ms).
    bridge.ClearFaults();
    AtPause(300, 2, [this] { bridge.SetWriteFail(true); });
    steps.clear();
    Button(CDlgFw::IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(session.WaitForIdle(60000));
    clock.SetSleepHook(nullptr);
    // The bar starts again from where the last try stopped.
    EXPECT_EQ(Values(), (std::vector<int>{0, 5, 10, 15}));
    EXPECT_EQ(Status(), QStringLiteral("펌웨어 헤더 전송 실패 ")
                            + QString::fromStdString(session.Link().GetErrorText()));
    EXPECT_TRUE(meter.GetFirmwareImage().empty());
    ExpectUploadEnded(false);

    // Without a session the request cannot go out at all.
    bridge.SetWriteFail(false);
    dlg.m_pSession = nullptr;
    steps.clear();
    Button(CDlgFw::IDC_BUTTON_UPLOAD)->click();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("펌웨어 업데이트 요청 실패 ")));
    EXPECT_TRUE(dlg.m_firmware.IsImageReady());
}

TEST_F(FirmwareDialogTest, ClosingWaitsForTheUploadAndThenFreesTheImage)
{
    const QByteArray image = MakeImage(3000);
    onStep = [this](int value) {
        if (value > 20)
            static_cast<QDialog&>(dlg).reject();   // Esc while the image is being sent
    };
    UploadImage(image);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Status(), kDone);
    EXPECT_EQ(MeterImage(), image);

    onStep = nullptr;
    Choose(WriteFile(QStringLiteral("next.bin"), MakeImage(100)));
    Close()->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.m_firmware.IsImageReady());
    EXPECT_TRUE(dlg.m_firmware.m_pImage.empty());
    EXPECT_EQ(dlg.m_firmware.ImageSize(), 0u);
}

TEST_F(FirmwareDialogTest, StopBetweenPiecesAfterAQuestionThenUploadAgain)
{
    std::vector<QString> questions;
    std::vector<bool> answers = {false, true};
    CUiPrompts::SetYesNoHook([&](const QString& text, const QString&) {
        questions.push_back(text);
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    // While the third piece is on its way the user presses "취소" twice:
    // first answers no, then yes; the fourth piece is not sent.
    const QByteArray image = MakeImage(8000);
    onStep = [this](int value) {
        if (value > 20 && steps.size() == 5) {
            EXPECT_FALSE(Close()->isEnabled());
            ASSERT_TRUE(Button(CDlgFw::IDC_BUTTON_DROP)->isEnabled());
            Button(CDlgFw::IDC_BUTTON_DROP)->click();
            Button(CDlgFw::IDC_BUTTON_DROP)->click();
        }
    };
    // The link's thread waits at the pause before the third piece until the
    // window has seen the progress of the first.
    AtPause(100, 4, [this] {
        for (int i = 0; i < 10000 && steps.size() < 5; ++i)
            QThread::msleep(1);
    });
    UploadImage(image);
    clock.SetSleepHook(nullptr);
    onStep = nullptr;

    ASSERT_EQ(questions.size(), 2u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("다시 해야 합니다"))) << questions[0].toStdString();
    EXPECT_EQ(Status(), QStringLiteral("펌웨어 업로드 중지 - 장비에 펌웨어를 다시 업로드해야 합니다"));
    EXPECT_EQ(meter.GetFirmwareChunks(), 3);
    ExpectUploadEnded(false);

    // The whole image goes on the next try, and the version is read again.
    UploadImage(image);
    EXPECT_EQ(Status(), kDone);
    EXPECT_EQ(MeterImage(), image);
    EXPECT_EQ(dlg.GetDlgItemAs<QGroupBox>(CDlgFw::IDC_GROUP_FIRMWARE)->title(),
              QStringLiteral("펌웨어 업로드 (장비 버전 : 1.05 → 1.05)"));
}

TEST_F(FirmwareDialogTest, LogButtonShowsAndHidesTheLogWindow)
{
    EXPECT_FALSE(logWindow.isVisible());
    Button(CDlgFw::IDC_BUTTON_LOG)->click();
    EXPECT_TRUE(logWindow.isVisible());
    Button(CDlgFw::IDC_BUTTON_LOG)->click();
    EXPECT_FALSE(logWindow.isVisible());
}

}   // namespace
