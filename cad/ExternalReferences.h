#pragma once
// External references: blocks that stand for another drawing file. They are
// brought into the host the way the CAD application shows them: the
// referenced drawing's model space becomes the block's content, its layers,
// linetypes, text styles and blocks join the host named "REF|name" (layer 0
// stays 0), references inside it are followed (overlays are not: they show
// only in the drawing that attaches them), a reference back to a drawing
// that is being brought in is refused, and each file is read once.
//
// A reference that cannot be found or read leaves its block empty and adds
// a line to Drawing::referenceProblems; the rest of the drawing is whole.
#include "cad/model/Drawing.h"
#include "cad/model/ReferencedFiles.h"

namespace cad {

// hostPath: where the drawing was read from (Drawing::sourcePath when empty).
// A reference the rules refuse is not read, and is named among the problems.
// Drawing::referencedFiles lists the references brought in and the pictures
// and underlays the rules allow, wherever they are shown.
void attachExternalReferences(Drawing& host, const std::string& hostPath = {}, const ReferenceRules& rules = {});

}  // namespace cad
