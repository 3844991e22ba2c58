#include "Form1.h"

#include "HandCursor.h"
#include "Main.h"
#include "Skin.h"
#include "VendorControls.h"

#include "convert/CadExport.h"
#include "filelist/AddFiles.h"
#include "filelist/AddFolder.h"
#include "filelist/ClearList.h"
#include "filelist/ListView1.h"
#include "filelist/SampleFiles.h"
#include "platform/Dialogs.h"
#include "platform/ErrorTrap.h"
#include "platform/FolderPicker.h"
#include "platform/PathHelpers.h"
#include "platform/SettingsStore.h"
#include "platform/VbError.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QSlider>
#include <algorithm>

namespace lumicade {

namespace {

// The window was laid out in twips; 15 of them make a pixel.
QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

const char* const kListToolTip =
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of window to reveal full names.";

QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(9.0);
    font.setBold(true);
    return font;
}

QFont buttonFont()
{
    QFont font = windowFont();
    font.setPointSizeF(11.25);
    return font;
}

// The program's icon: a sheet with a drawing on it, turning into a picture.
QIcon programIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 60, 120), 1.5));
    painter.setBrush(QColor(250, 250, 255));
    painter.drawRect(QRectF(3.5, 2.5, 25, 27));
    painter.setPen(QPen(QColor(0, 110, 200), 2));
    painter.drawLine(QPointF(8, 22), QPointF(16, 9));
    painter.drawLine(QPointF(16, 9), QPointF(24, 22));
    painter.drawEllipse(QPointF(16, 18), 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 150, 20));
    painter.drawRect(QRectF(18, 20, 9, 8));
    return QIcon(pixmap);
}

// How far below its top a frame draws its line.
int frameLineOffset(const QGroupBox& frame)
{
    QStyleOptionGroupBox option;
    option.initFrom(&frame);
    option.text = frame.title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame;
    return frame.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, &frame).top();
}

const QString kLoadLocation = QStringLiteral("in Kestrane2021/08/31.Form1.Form_Load ");
const QString kBrowseLocation = QStringLiteral("in Kestrane2021/08/31.Form1.PushButton4_Click ");

}  // namespace

void SetOptionValue(QRadioButton& option, bool value)
{
    if (value) {
        option.setChecked(true);
        return;
    }
    // The toolkit keeps one button of a group chosen; clearing the chosen one
    // needs the group rule lifted for a moment.
    const bool exclusive = option.autoExclusive();
    option.setAutoExclusive(false);
    option.setChecked(false);
    option.setAutoExclusive(exclusive);
}

Form1::Form1(const Form1Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(services)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFont(windowFont());
    // A fixed single border: the user cannot resize the window.
    setFixedSize(8040 / 15, 7650 / 15);
    setMouseTracking(true);
    createControls();

    fileList_.list = ListView1;
    fileList_.dialogs = &services_.dialogs;
    fileList_.shell = &services_.shell;
    fileList_.settings = &services_.settings;
    fileList_.mousePointer = [this] { return MousePointer(); };
    fileList_.setMousePointer = [this](int pointer) { SetMousePointer(pointer); };
    fileList_.yield = [] { QCoreApplication::processEvents(); };
    ConnectFileList(fileList_);

    connectHandlers();

    // In the middle of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

Form1::~Form1() = default;

void Form1::createControls()
{
    const QColor white(255, 255, 255);
    setPalette(DesignPalette());
    SetBackColor(*this, white);

    ListView1 = new lumicade::ListView1(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(fromTwips(120, 120, 7800, 2535));
    ListView1->setToolTip(QString::fromLatin1(kListToolTip));

    auto makeButton = [this](const char* name, const QString& caption, QWidget* parent, QRect geometry) {
        auto* button = new PushButton(caption, parent);
        button->setObjectName(QString::fromLatin1(name));
        button->setFont(buttonFont());
        button->setGeometry(geometry);
        return button;
    };
    PushButton1 = makeButton("PushButton1", QStringLiteral("Add DWG File(s)"), this, fromTwips(120, 2750, 3840, 405));
    PushButton3 = makeButton("PushButton3", QStringLiteral("Add All DWG File(s) In Folder"), this,
                             fromTwips(4080, 2750, 3840, 405));
    PushButton7 = makeButton("PushButton7", QStringLiteral("Clear List"), this, fromTwips(120, 3260, 3840, 405));
    PushButton8 = makeButton("PushButton8", QStringLiteral("Load Sample/Example Files"), this,
                             fromTwips(4080, 3260, 3840, 405));

    Frame2 = new QGroupBox(QStringLiteral("JPG Image Quality"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(fromTwips(120, 3720, 7800, 885));
    SetBackColor(*Frame2, white);
    Slider1 = new QSlider(Qt::Horizontal, Frame2);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setGeometry(fromTwips(120, 240, 7560, 540));
    Slider1->setRange(0, 100);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(5);
    Slider1->setValue(85);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(5);

    Frame4 = new QGroupBox(QStringLiteral("Save Option"), this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(fromTwips(120, 4660, 7800, 1815));
    SetBackColor(*Frame4, white);
    Option1 = new QRadioButton(QStringLiteral("Save results to this folder:"), Frame4);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setGeometry(fromTwips(240, 300, 3615, 255));
    SetBackColor(*Option1, white);
    Option1->setChecked(true);
    Frame3 = new QGroupBox(QString(), Frame4);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Frame3->setGeometry(fromTwips(480, 510, 6840, 810));
    SetBackColor(*Frame3, white);
    Text1 = new QLineEdit(Frame3);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(fromTwips(240, 300, 5670, 345));
    PushButton4 = makeButton("PushButton4", QStringLiteral("..."), Frame3, fromTwips(6000, 300, 600, 345));
    Option2 = new QRadioButton(QStringLiteral("Save results in folder of original file"), Frame4);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setGeometry(fromTwips(240, 1410, 3615, 255));
    SetBackColor(*Option2, white);
    // The option buttons take the size of their captions, centred on their
    // design boxes. The one above the folder box ends above that box's frame
    // line: its white back colour would otherwise cut a gap into the line.
    for (QRadioButton* option : {Option1, Option2}) {
        const QSize hint = option->sizeHint();
        const int height = std::max(option->height(), hint.height());
        option->setGeometry(option->x(), option->y() - (height - option->height()) / 2, hint.width(), height);
        option->raise();
    }
    const int frameLine = Frame3->y() + frameLineOffset(*Frame3);
    if (Option1->geometry().bottom() >= frameLine)
        Option1->move(Option1->x(), frameLine - Option1->height());

    PushButton2 = makeButton("PushButton2", QStringLiteral("Start Converting"), this, fromTwips(120, 6600, 7800, 405));

    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(fromTwips(120, 7125, 7800, 405));
    ProgressBar1->setBarText(QStringLiteral("Progress Bar"));

    // Below the visible client area: it only holds pictures.
    Creator = new PictureBox(this);
    Creator->setObjectName(QStringLiteral("Creator"));
    Creator->setGeometry(fromTwips(120, 8190, 495, 525));

    // Tab order follows the layout.
    setTabOrder(ListView1, PushButton1);
    setTabOrder(PushButton1, PushButton3);
    setTabOrder(PushButton3, PushButton7);
    setTabOrder(PushButton7, PushButton8);
    setTabOrder(PushButton8, Slider1);
    setTabOrder(Slider1, Option1);
    setTabOrder(Option1, Text1);
    setTabOrder(Text1, PushButton4);
    setTabOrder(PushButton4, Option2);
    setTabOrder(Option2, PushButton2);
}

void Form1::runHandler(const char* name, const std::function<void()>& handler)
{
    // The numbered procedures report their own failures; this catches what
    // escapes a handler anyway (before its first statement, or in a handler
    // without a trap), so no failure leaves the window's event loop.
    ErrorTrap trap(services_.dialogs, QStringLiteral("in Kestrane2021/08/31.Form1.") + QString::fromLatin1(name)
                                          + QLatin1Char(' '));
    trap.step(0, handler);
}

void Form1::connectHandlers()
{
    connect(PushButton1, &QPushButton::clicked, this, [this] { runHandler("PushButton1_Click", [this] { PushButton1_Click(); }); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { runHandler("PushButton2_Click", [this] { PushButton2_Click(); }); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { runHandler("PushButton3_Click", [this] { PushButton3_Click(); }); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { runHandler("PushButton4_Click", [this] { PushButton4_Click(); }); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { runHandler("PushButton7_Click", [this] { PushButton7_Click(); }); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { runHandler("PushButton8_Click", [this] { PushButton8_Click(); }); });
    for (PushButton* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton7, PushButton8})
        connect(button, &PushButton::MouseMove, this, [this] { PushButton_MouseMove(); });

    // Only the user's clicks: setting a value from the program raises nothing.
    connect(Option1, &QRadioButton::clicked, this, [this] { runHandler("Option1_Click", [this] { Option1_Click(); }); });
    connect(Option2, &QRadioButton::clicked, this, [this] { runHandler("Option2_Click", [this] { Option2_Click(); }); });
    // Every change of the text, the program's own included.
    connect(Text1, &QLineEdit::textChanged, this, [this] { runHandler("Text1_Change", [this] { Text1_Change(); }); });

    // Every change of the quality, whatever moved the slider, so the caption
    // and the store always show what the next picture is written at. The
    // restore at start-up sets the value with the signal held back.
    connect(Slider1, &QSlider::valueChanged, this, [this] { runHandler("Slider1_Change", [this] { Slider1_Change(); }); });
    for (QWidget* watched : std::initializer_list<QWidget*>{Frame2, Frame3, Frame4, Option1, Option2, Text1}) {
        watched->setMouseTracking(true);
        watched->installEventFilter(this);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Frame2 || watched == Frame3 || watched == Frame4)
            Frame_MouseMove();
        else if (watched == Option1 || watched == Option2)
            Option_MouseMove();
        else if (watched == Text1)
            Text1_MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent* event)
{
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing ends the program; a run in progress notices and stops writing.
    closeRequested_ = true;
    event->accept();
    QCoreApplication::quit();
}

// ---------------------------------------------------------------------------
// Start-up

void Form1::Form_Load()
{
    ErrorTrap trap(services_.dialogs, kLoadLocation);
    SettingsStore& settings = services_.settings;
    const QString programFolder = services_.shell.programFolder();

    trap.step(100, [&] { ApplySkin(*this, programFolder); });
    trap.step(102, [&] {
        setWindowTitle(QString::fromLatin1(kProductName));
        setWindowIcon(programIcon());
        SetAppTitle();
    });

    const QString handFile = programFolder + kSeparator + QStringLiteral("HAND-M.CUR");
    bool handThere = true;
    trap.step(104, [&] { handThere = PathExists(handFile); });
    if (handThere)
        trap.step(106, [&] { handCursor_ = LoadCursorFile(handFile); });

    trap.step(108, [&] { VisitWebSiteByChance(services_.random, services_.shell); });

    const auto recordSamplesUnlessRecorded = [&] {
        if (settings.GetSetting(QStringLiteral("Snapshot"), QString()).isEmpty())
            RecordSampleFiles(fileList_);
    };
    trap.step(110, recordSamplesUnlessRecorded);
    // A second try, for a first attempt that found no samples.
    trap.step(130, recordSamplesUnlessRecorded);

    trap.step(132, [&] { ListView1->AddColumn(QStringLiteral("DWG File(s)"), ListView1->columnWidth(0)); });
    trap.step(134, [&] { ListView1->setColumnWidth(0, 7000 / 15); });

    trap.step(136, [&] { Text1->setText(settings.GetSetting(QStringLiteral("Text1"), DefaultOutputFolder())); });
    trap.step(138, [&] {
        const int quality = SettingsStore::ToWholeNumber(settings.GetSetting(QStringLiteral("Slider1"), QStringLiteral("85")));
        // The slider refuses a value outside its scale, as it would from the user.
        if (quality < Slider1->minimum() || quality > Slider1->maximum())
            throw VbError::make(ErrNo::InvalidPropertyValue);
        // Restoring is not a change by the user: nothing to store, and the
        // caption follows at 140.
        const QSignalBlocker quiet(Slider1);
        Slider1->setValue(quality);
    });
    trap.step(140, [&] { Frame2->setTitle(QualityCaption(Slider1->value())); });
    trap.step(142, [&] {
        SetOptionValue(*Option1, SettingsStore::ToBoolean(settings.GetSetting(QStringLiteral("Option1"), QStringLiteral("1"))));
    });
    trap.step(144, [&] {
        SetOptionValue(*Option2, SettingsStore::ToBoolean(settings.GetSetting(QStringLiteral("Option2"), QStringLiteral("0"))));
    });

    bool saveToFolder = true;
    trap.step(146, [&] { saveToFolder = Option1->isChecked(); });
    if (saveToFolder)
        trap.step(148, [&] { Frame3->setEnabled(true); });
    else
        trap.step(150, [&] { Frame3->setEnabled(false); });

    // The window works in pixels from here on; its geometry always was.
    trap.step(152, [] {});

    trap.step(154, [&] { AutoCADAvailable = CheckAutoCADAvailable(services_.dialogs, services_.cad); });
}

QString Form1::QualityCaption(int value)
{
    return QStringLiteral("Output JPG image quality: ") + QString::number(value) + QLatin1Char('%');
}

// ---------------------------------------------------------------------------
// The list commands and the batch run

void Form1::PushButton1_Click()
{
    lumicade::PushButton1_Click(fileList_);
}

void Form1::PushButton2_Click()
{
    lumicade::PushButton2_Click(*this);
}

void Form1::PushButton3_Click()
{
    lumicade::PushButton3_Click(fileList_);
}

void Form1::PushButton7_Click()
{
    lumicade::PushButton7_Click(fileList_);
}

void Form1::PushButton8_Click()
{
    lumicade::PushButton8_Click(fileList_);
}

// ---------------------------------------------------------------------------
// The output options

void Form1::storeOptions()
{
    SettingsStore& settings = services_.settings;
    settings.SaveSetting(QStringLiteral("Option1"), SettingsStore::FromBoolean(Option1->isChecked()));
    settings.SaveSetting(QStringLiteral("Option2"), SettingsStore::FromBoolean(Option2->isChecked()));
    Frame3->setEnabled(Option1->isChecked());
}

void Form1::Option1_Click()
{
    storeOptions();
}

void Form1::Option2_Click()
{
    storeOptions();
}

void Form1::PushButton4_Click()
{
    ErrorTrap trap(services_.dialogs, kBrowseLocation);
    SettingsStore& settings = services_.settings;
    QString chosen;

    trap.step(100, [&] {
        LastOutputFolder = settings.GetSetting(QStringLiteral("LastFolderDot"), QString());
        chosen = BrowseForFolder(services_.dialogs, QStringLiteral("Please select folder:"), LastOutputFolder);
    });
    bool cancelled = true;
    trap.step(102, [&] { cancelled = chosen.isEmpty(); });
    if (cancelled)
        return;

    bool needsSeparator = true;
    trap.step(104, [&] {
        LastOutputFolder = chosen;
        settings.SaveSetting(QStringLiteral("LastFolderDot"), LastOutputFolder);
        needsSeparator = !chosen.endsWith(kSeparator);
    });
    if (needsSeparator)
        trap.step(106, [&] { Text1->setText(chosen + kSeparator); });
    else  // a root such as "/" already ends in its separator
        trap.step(108, [&] { Text1->setText(chosen); });
}

void Form1::Slider1_Change()
{
    Frame2->setTitle(QualityCaption(Slider1->value()));
    services_.settings.SaveSetting(QStringLiteral("Slider1"), QString::number(Slider1->value()));
}

void Form1::Text1_Change()
{
    // Stored as typed; whether the folder exists matters only when a run starts.
    services_.settings.SaveSetting(QStringLiteral("Text1"), Text1->text());
}

// ---------------------------------------------------------------------------
// Pointer

void Form1::SetMousePointer(int pointer)
{
    mousePointer_ = pointer;
    switch (pointer) {
    case MousePointer::Hourglass:
        setCursor(Qt::WaitCursor);
        break;
    case MousePointer::Custom:
        // Without HAND-M.CUR the custom pointer has no image: the arrow shows.
        if (handCursor_)
            setCursor(*handCursor_);
        else
            setCursor(Qt::ArrowCursor);
        break;
    default:
        setCursor(Qt::ArrowCursor);
        break;
    }
}

void Form1::hover(int pointer)
{
    // The hourglass stays while the program is busy.
    if (MousePointer() != MousePointer::Hourglass)
        SetMousePointer(pointer);
}

void Form1::PushButton_MouseMove()
{
    hover(MousePointer::Custom);
}

void Form1::Form_MouseMove()
{
    hover(MousePointer::Default);
}

void Form1::Frame_MouseMove()
{
    hover(MousePointer::Default);
}

void Form1::Option_MouseMove()
{
    hover(MousePointer::Default);
}

void Form1::Text1_MouseMove()
{
    hover(MousePointer::Default);
}

// ---------------------------------------------------------------------------
// What the batch run reads and sets

int Form1::rowCount() const
{
    return ListView1->Count();
}

QString Form1::rowText(int row) const
{
    return ListView1->RowText(row);
}

QString Form1::text1() const
{
    return Text1->text();
}

bool Form1::option1() const
{
    return Option1->isChecked();
}

bool Form1::option2() const
{
    return Option2->isChecked();
}

int Form1::slider1() const
{
    return Slider1->value();
}

void Form1::setProgressValue(int value)
{
    ProgressBar1->setBarValue(value);
}

int Form1::progressValue() const
{
    return static_cast<int>(ProgressBar1->barValue());
}

void Form1::setProgressText(const QString& text)
{
    ProgressBar1->setBarText(text);
}

QString Form1::progressText() const
{
    return ProgressBar1->barText();
}

void Form1::setCreatorPicture(const QImage& picture)
{
    Creator->setPicture(picture);
}

QImage Form1::creatorPicture() const
{
    return Creator->picture();
}

void Form1::yield()
{
    QCoreApplication::processEvents();
}

}  // namespace lumicade
