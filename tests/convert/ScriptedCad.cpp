#include "ConvertTestSupport.h"

namespace lumicade::testing {
namespace {

[[noreturn]] void refuse(const QString& what)
{
    throw VbError(CadErr::AutomationError, QStringLiteral("Method '%1' failed").arg(what));
}

class ScriptedSet : public CadSelectionSet {
public:
    explicit ScriptedSet(ScriptedCad& cad) : cad_(cad) {}
    void Select(short mode) override
    {
        cad_.note(QStringLiteral("Select %1").arg(mode));
        selected = mode == 5;
    }
    bool selected = false;

private:
    ScriptedCad& cad_;
};

class ScriptedDocument : public CadDocument, public CadSelectionSets {
public:
    ScriptedDocument(ScriptedCad& cad, QString path) : cad_(cad), path_(std::move(path)) {}
    CadSelectionSets& SelectionSets() override
    {
        cad_.note(QStringLiteral("SelectionSets"));
        return *this;
    }
    std::shared_ptr<CadSelectionSet> add(const QString& name) override
    {
        cad_.note(QStringLiteral("add ") + name);
        return std::make_shared<ScriptedSet>(cad_);
    }
    void Export(const QString& exportName, const QString& extension, CadSelectionSet& selection) override
    {
        cad_.note(QStringLiteral("Export ") + exportName + u'|' + extension);
        if (cad_.failExport.contains(path_))
            refuse(QStringLiteral("Export"));
        if (!static_cast<ScriptedSet&>(selection).selected || cad_.exportWritesNothing.contains(path_))
            return;
        QImage picture(cad_.pictureSize, QImage::Format_RGB32);
        const auto colour = cad_.colours.find(path_);
        picture.fill(colour == cad_.colours.end() ? QColor(Qt::white) : colour->second);
        if (!picture.save(exportName + QStringLiteral(".bmp"), "BMP"))
            refuse(QStringLiteral("Export"));
    }
    void Close() override { cad_.note(QStringLiteral("Close")); }

private:
    ScriptedCad& cad_;
    QString path_;
};

class ScriptedApplication : public CadApplication, public CadDocuments {
public:
    explicit ScriptedApplication(ScriptedCad& cad) : cad_(cad) {}
    void setWindowState(short state) override { cad_.note(QStringLiteral("WindowState %1").arg(state)); }
    CadDocuments& Documents() override
    {
        cad_.note(QStringLiteral("Documents"));
        return *this;
    }
    std::shared_ptr<CadDocument> Open(const QString& path) override
    {
        cad_.note(QStringLiteral("Open ") + path);
        if (cad_.failOpen.contains(path))
            refuse(QStringLiteral("Open"));
        return std::make_shared<ScriptedDocument>(cad_, path);
    }
    CadApplication& Application() override
    {
        cad_.note(QStringLiteral("Application"));
        return *this;
    }
    void setVisible(bool visible) override
    {
        cad_.note(visible ? QStringLiteral("Visible true") : QStringLiteral("Visible false"));
    }
    void Quit() override
    {
        cad_.note(QStringLiteral("Quit"));
        cad_.running = false;
    }

private:
    ScriptedCad& cad_;
};

}  // namespace

std::shared_ptr<CadApplication> ScriptedCad::GetObject(const QString& classId)
{
    note(QStringLiteral("GetObject ") + classId);
    if (!running)
        throw VbError(CadErr::CantCreateObject, QStringLiteral("ActiveX component can't create object"));
    auto app = std::make_shared<ScriptedApplication>(*this);
    lastApplication = app;
    return app;
}

std::shared_ptr<CadApplication> ScriptedCad::CreateObject(const QString& classId)
{
    note(QStringLiteral("CreateObject ") + classId);
    if (createFails)
        throw VbError(CadErr::CantCreateObject, QStringLiteral("ActiveX component can't create object"));
    running = true;
    auto app = std::make_shared<ScriptedApplication>(*this);
    lastApplication = app;
    return app;
}

}  // namespace lumicade::testing
