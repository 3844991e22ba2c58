#include "convert/EngineCadApplication.h"

#include <map>
#include <vector>

#include "convert/CadExport.h"
#include "convert/WorkerDrawings.h"
#include "platform/VbError.h"

namespace lumicade {
namespace {

[[noreturn]] void fail(const QString& description)
{
    throw VbError(CadErr::AutomationError, description);
}

class EngineDocument;

class EngineSelectionSet : public CadSelectionSet {
public:
    EngineSelectionSet(std::weak_ptr<EngineDocument> owner, QString name)
        : owner_(std::move(owner)), name_(std::move(name)) {}

    void Select(short mode) override;

    bool holdsEverything() const { return all_; }
    const std::weak_ptr<EngineDocument>& owner() const { return owner_; }

private:
    std::weak_ptr<EngineDocument> owner_;
    QString name_;
    bool all_ = false;
};

class EngineDocument : public CadDocument,
                       public CadSelectionSets,
                       public std::enable_shared_from_this<EngineDocument> {
public:
    EngineDocument(QString path, std::unique_ptr<HostedDrawing> drawing)
        : path_(std::move(path)), drawing_(std::move(drawing)) {}

    CadSelectionSets& SelectionSets() override
    {
        requireOpen(QStringLiteral("SelectionSets"));
        return *this;
    }

    std::shared_ptr<CadSelectionSet> add(const QString& name) override
    {
        requireOpen(QStringLiteral("add"));
        const QString key = name.toUpper();
        if (sets_.count(key))
            fail(QStringLiteral("Duplicate selection set name: %1").arg(name));
        auto set = std::make_shared<EngineSelectionSet>(weak_from_this(), name);
        sets_[key] = set;
        return set;
    }

    void Export(const QString& exportName, const QString& extension, CadSelectionSet& selection) override
    {
        requireOpen(QStringLiteral("Export"));
        if (extension.compare(QStringLiteral("BMP"), Qt::CaseInsensitive) != 0)
            fail(QStringLiteral("Cannot export as %1: only BMP is supported").arg(extension));
        if (exportName.isEmpty())
            fail(QStringLiteral("Cannot export: no file name given"));
        auto* set = dynamic_cast<EngineSelectionSet*>(&selection);
        if (!set || set->owner().lock().get() != this)
            fail(QStringLiteral("The selection set does not belong to this drawing"));
        if (!set->holdsEverything())
            fail(QStringLiteral("Nothing is selected to export"));
        drawing_->exportBitmap(exportName + QStringLiteral(".bmp"));
    }

    void Close() override
    {
        requireOpen(QStringLiteral("Close"));
        release();
    }

    void release()
    {
        sets_.clear();
        drawing_.reset();
    }

    bool isOpen() const { return drawing_ != nullptr; }

    void requireOpen(const QString& member) const
    {
        if (!drawing_)
            fail(QStringLiteral("Method '%1' failed: the drawing %2 is closed").arg(member, path_));
    }

private:
    QString path_;
    std::unique_ptr<HostedDrawing> drawing_;
    std::map<QString, std::shared_ptr<EngineSelectionSet>> sets_;
};

void EngineSelectionSet::Select(short mode)
{
    auto doc = owner_.lock();
    if (!doc || !doc->isOpen())
        fail(QStringLiteral("Method 'Select' failed: the drawing is closed"));
    // Mode 5 ("all") is the only one the program uses; the window and
    // crossing modes need picked points this engine never gets.
    if (mode != 5)
        throw VbError(ErrNo::InvalidProcedureCall,
                      QStringLiteral("Selection mode %1 is not supported").arg(mode));
    all_ = true;
}

class EngineApplication : public CadApplication, public CadDocuments {
public:
    explicit EngineApplication(std::shared_ptr<DrawingHost> drawings) : drawings_(std::move(drawings)) {}

    void setWindowState(short state) override
    {
        requireRunning(QStringLiteral("WindowState"));
        windowState_ = state;
    }

    CadDocuments& Documents() override
    {
        requireRunning(QStringLiteral("Documents"));
        return *this;
    }

    std::shared_ptr<CadDocument> Open(const QString& drawingPath) override
    {
        requireRunning(QStringLiteral("Open"));
        auto doc = std::make_shared<EngineDocument>(drawingPath, drawings_->open(drawingPath));
        documents_.push_back(doc);
        return doc;
    }

    CadApplication& Application() override
    {
        requireRunning(QStringLiteral("Application"));
        return *this;
    }

    void setVisible(bool visible) override
    {
        requireRunning(QStringLiteral("Visible"));
        visible_ = visible;
    }

    void Quit() override
    {
        requireRunning(QStringLiteral("Quit"));
        // Drawings still open are dropped unsaved; references the caller
        // still holds answer every call with a failure from now on.
        for (auto& doc : documents_)
            doc->release();
        documents_.clear();
        quit_ = true;
    }

private:
    void requireRunning(const QString& member) const
    {
        if (quit_)
            fail(QStringLiteral("Method '%1' failed: the application has quit").arg(member));
    }

    std::shared_ptr<DrawingHost> drawings_;
    std::vector<std::shared_ptr<EngineDocument>> documents_;
    short windowState_ = 0;
    bool visible_ = false;
    bool quit_ = false;
};

bool isCadClass(const QString& classId)
{
    return classId.compare(QString::fromLatin1(kCadClassId), Qt::CaseInsensitive) == 0;
}

}  // namespace

EngineCadAutomation::EngineCadAutomation() : drawings_(std::make_shared<WorkerDrawings>()) {}

EngineCadAutomation::EngineCadAutomation(std::shared_ptr<DrawingHost> drawings) : drawings_(std::move(drawings)) {}

std::shared_ptr<CadApplication> EngineCadAutomation::GetObject(const QString& classId)
{
    Q_UNUSED(classId);
    // The engine lives inside this program; nothing is ever running to attach to.
    throw VbError(CadErr::CantCreateObject, QStringLiteral("ActiveX component can't create object"));
}

std::shared_ptr<CadApplication> EngineCadAutomation::CreateObject(const QString& classId)
{
    if (!isCadClass(classId))
        throw VbError(CadErr::CantCreateObject, QStringLiteral("ActiveX component can't create object"));
    return std::make_shared<EngineApplication>(drawings_);
}

}  // namespace lumicade
