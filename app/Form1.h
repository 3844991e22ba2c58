#pragma once
// Form1: the program's one working window. Its load event performs the whole
// start-up; every other action is one of its handlers.
#include "convert/BatchContext.h"
#include "filelist/FileListContext.h"

#include <QCursor>
#include <QWidget>
#include <functional>
#include <optional>

class QGroupBox;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace lumicade {

class CadAutomation;
class Dialogs;
class ListView1;
class PictureBox;
class ProgressBar;
class PushButton;
class RandomSource;
class SettingsStore;
class Shell;

// What the window reaches outside itself through; tests hand in their own.
struct Form1Services {
    Dialogs& dialogs;
    Shell& shell;
    SettingsStore& settings;
    RandomSource& random;
    CadAutomation& cad;
};

class Form1 : public QWidget, public BatchContext {
    Q_OBJECT
public:
    explicit Form1(const Form1Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: statements 100 to 154, run once before the window is shown.
    void Form_Load();

    // --- command handlers ---
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void Option1_Click();
    void Option2_Click();
    // Every change of the slider's value, by mouse, keyboard or wheel.
    void Slider1_Change();
    void Text1_Change();

    // --- hover: the hand over the push buttons, the arrow elsewhere ---
    void PushButton_MouseMove();
    void Form_MouseMove();
    void Frame_MouseMove();
    void Option_MouseMove();
    void Text1_MouseMove();

    // The window's pointer setting: 0 arrow, 11 hourglass, 99 the hand.
    int MousePointer() const { return mousePointer_; }
    void SetMousePointer(int pointer);
    // Whether HAND-M.CUR gave the hand pointer an image.
    bool HasCustomPointerImage() const { return handCursor_.has_value(); }

    // The quality frame's caption for a slider value.
    static QString QualityCaption(int value);

    // --- the controls, by their design names ---
    lumicade::ListView1* ListView1 = nullptr;
    PushButton* PushButton1 = nullptr;
    PushButton* PushButton3 = nullptr;
    PushButton* PushButton7 = nullptr;
    PushButton* PushButton8 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QSlider* Slider1 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QRadioButton* Option1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLineEdit* Text1 = nullptr;
    PushButton* PushButton4 = nullptr;
    QRadioButton* Option2 = nullptr;
    PushButton* PushButton2 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    PictureBox* Creator = nullptr;

    bool AutoCADAvailable = false;
    bool ConversionRunning = false;
    // The folder last chosen with "...", refreshed from the store on every press.
    QString LastOutputFolder;

    // --- BatchContext: what "Start Converting" reads and sets ---
    int rowCount() const override;
    QString rowText(int row) const override;
    QString text1() const override;
    bool option1() const override;
    bool option2() const override;
    int slider1() const override;
    void setProgressValue(int value) override;
    int progressValue() const override;
    void setProgressText(const QString& text) override;
    QString progressText() const override;
    void setCreatorPicture(const QImage& picture) override;
    QImage creatorPicture() const override;
    int mousePointer() const override { return MousePointer(); }
    void setMousePointer(int pointer) override { SetMousePointer(pointer); }
    void yield() override;
    bool closeRequested() const override { return closeRequested_; }
    bool autoCADAvailable() const override { return AutoCADAvailable; }
    bool conversionRunning() const override { return ConversionRunning; }
    void setConversionRunning(bool running) override { ConversionRunning = running; }
    Dialogs& dialogs() override { return services_.dialogs; }
    CadAutomation& cadAutomation() override { return services_.cad; }

    // The list commands' view of the window.
    FileListContext& fileListContext() { return fileList_; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void runHandler(const char* name, const std::function<void()>& handler);
    void hover(int pointer);
    void storeOptions();

    Form1Services services_;
    FileListContext fileList_;
    int mousePointer_ = 0;
    std::optional<QCursor> handCursor_;
    bool closeRequested_ = false;
};

// Sets an option button's value the way the program's option buttons take it:
// true chooses it and clears its neighbours, false clears it even when that
// leaves none of them chosen.
void SetOptionValue(QRadioButton& option, bool value);

}  // namespace lumicade
