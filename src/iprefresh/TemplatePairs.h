#pragma once

#include "core/Settings.h"

#include <functional>
#include <string>
#include <vector>

// The two lists of template pairs (template and local output file; template and remote file) and
// the checks of their "Add" and "Edit" dialogs. Pure; any thread.

namespace kestrelon {

enum class PairKind { Local, Remote };

struct PairDialogTexts {
    static constexpr const char* kNoTemplate = "Select a template file";
    static constexpr const char* kNoLocalFile = "Select a Local File filename";
    static constexpr const char* kNoRemoteFile = "Select a Remote File filename";
    // Both texts of a row are keys of the settings file, where equal keys (in any letter case)
    // fold into one: a second row with the same text would pull the rows after it out of line
    // with their partners at the next start.
    static constexpr const char* kTemplateTaken =
        "This template is already in the list. Make a copy of it to fill a second file.";
    static constexpr const char* kFileTaken = "This file is already in the list.";
    // A "=" ends a key of the settings file, and a leading ";", "#" or "[" makes its line a
    // comment or a section: such a row would not come back after a restart.
    static constexpr const char* kNotStorable =
        "A file name cannot contain \"=\" or begin with \";\", \"#\" or \"[\".";
};

// The texts of a dialog's fields, as they are to be stored: blanks around them removed.
struct PairInput {
    std::string templateFile;
    std::string outputFile;
};

// The dialog's "OK": the message that keeps it open, or the empty text. editRow is the row being
// edited, -1 when adding. templateExists tells whether a template path names an existing file.
std::string checkPairDialog(PairKind kind, const std::vector<TemplatePair>& list, int editRow,
                            const PairInput& input,
                            const std::function<bool(const std::string&)>& templateExists);

// Applies an accepted dialog: appends a checked pair (editRow -1) or replaces the texts of the
// row, keeping its check mark. The texts are stored without surrounding blanks.
void applyPairDialog(std::vector<TemplatePair>& list, int editRow, const PairInput& input);

// "Remove": deletes the row when there is one.
void removePair(std::vector<TemplatePair>& list, int row);

// The dialog titles.
const char* pairDialogTitle(PairKind kind, bool edit);

} // namespace kestrelon
