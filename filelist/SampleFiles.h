#pragma once
// The sample drawings that ship in the "Samples" folder beside the program.
namespace lumicade {
struct FileListContext;
class ListView1;
// Stores the full paths of the sample files as the setting "Snapshot".
void RecordSampleFiles(FileListContext& ctx);
// Appends each recorded sample that exists and is not listed yet, then
// offers to open the samples folder.
void AddSampleFiles(FileListContext& ctx, ListView1& list);
void PushButton8_Click(FileListContext& ctx);
}  // namespace lumicade
