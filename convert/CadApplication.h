#pragma once
// The CAD application's automation operations, shaped like the members the
// export calls by name: attach or create, WindowState, Documents.Open,
// Application.Visible, SelectionSets.add, Select, Export, Close, Quit.
// Every operation that fails throws VbError; object references are shared
// pointers, and "releasing" one means dropping it.
#include <QString>
#include <memory>

namespace lumicade {

class CadSelectionSet {
public:
    virtual ~CadSelectionSet() = default;
    // Mode 5 selects every object of the drawing.
    virtual void Select(short mode) = 0;
};

class CadSelectionSets {
public:
    virtual ~CadSelectionSets() = default;
    virtual std::shared_ptr<CadSelectionSet> add(const QString& name) = 0;
};

class CadDocument {
public:
    virtual ~CadDocument() = default;
    virtual CadSelectionSets& SelectionSets() = 0;
    // Writes the selected objects as exportName + ".bmp" when extension is "BMP".
    virtual void Export(const QString& exportName, const QString& extension,
                        CadSelectionSet& selection) = 0;
    virtual void Close() = 0;
};

class CadDocuments {
public:
    virtual ~CadDocuments() = default;
    virtual std::shared_ptr<CadDocument> Open(const QString& drawingPath) = 0;
};

class CadApplication {
public:
    virtual ~CadApplication() = default;
    virtual void setWindowState(short state) = 0;  // 3: maximised
    virtual CadDocuments& Documents() = 0;
    virtual CadApplication& Application() = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void Quit() = 0;
};

// How the program reaches the application: attach to a running instance or
// start a new one, by class name ("AutoCAD.Application").
class CadAutomation {
public:
    virtual ~CadAutomation() = default;
    virtual std::shared_ptr<CadApplication> GetObject(const QString& classId) = 0;
    virtual std::shared_ptr<CadApplication> CreateObject(const QString& classId) = 0;
};

namespace CadErr {
constexpr int CantCreateObject = 429;  // "ActiveX component can't create object"
constexpr int ObjectNotSet = 91;       // "Object variable or With block variable not set"
constexpr int AutomationError = 440;   // the application refused the call
}  // namespace CadErr

}  // namespace lumicade
