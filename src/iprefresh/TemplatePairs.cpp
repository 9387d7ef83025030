#include "iprefresh/TemplatePairs.h"

#include "core/Text.h"
#include "iprefresh/Templates.h"

namespace kestrelon {

namespace {

bool storable(std::string_view text)
{
    if (text.find_first_of("=\r\n") != std::string_view::npos) {
        return false;
    }
    return text.empty() || (text.front() != ';' && text.front() != '#' && text.front() != '[');
}

// Equal as keys of the settings file.
bool sameKey(std::string_view a, std::string_view b)
{
    return equalsIgnoreCase(trimBlanks(a), trimBlanks(b));
}

} // namespace

std::string checkPairDialog(PairKind kind, const std::vector<TemplatePair>& list, int editRow,
                            const PairInput& input,
                            const std::function<bool(const std::string&)>& templateExists)
{
    std::string templateFile(trimBlanks(input.templateFile));
    std::string outputFile(trimBlanks(input.outputFile));
    if (templateFile.empty() || !templateExists(templateFile)) {
        return PairDialogTexts::kNoTemplate;
    }
    if (kind == PairKind::Local ? outputFile.empty() : remoteName(outputFile).empty()) {
        return kind == PairKind::Local ? PairDialogTexts::kNoLocalFile : PairDialogTexts::kNoRemoteFile;
    }
    if (!storable(templateFile) || !storable(outputFile)) {
        return PairDialogTexts::kNotStorable;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (static_cast<int>(i) == editRow) {
            continue;
        }
        if (sameKey(list[i].templateFile, templateFile)) {
            return PairDialogTexts::kTemplateTaken;
        }
        if (sameKey(list[i].outputFile, outputFile)) {
            return PairDialogTexts::kFileTaken;
        }
    }
    return {};
}

void applyPairDialog(std::vector<TemplatePair>& list, int editRow, const PairInput& input)
{
    std::string templateFile(trimBlanks(input.templateFile));
    std::string outputFile(trimBlanks(input.outputFile));
    if (editRow >= 0 && static_cast<size_t>(editRow) < list.size()) {
        list[editRow].templateFile = std::move(templateFile);
        list[editRow].outputFile = std::move(outputFile);
    } else {
        list.push_back({std::move(templateFile), std::move(outputFile), true});
    }
}

void removePair(std::vector<TemplatePair>& list, int row)
{
    if (row >= 0 && static_cast<size_t>(row) < list.size()) {
        list.erase(list.begin() + row);
    }
}

const char* pairDialogTitle(PairKind kind, bool edit)
{
    if (kind == PairKind::Local) {
        return edit ? "Edit a Template and Local File" : "Add a Template and Local File";
    }
    return edit ? "Edit Template and Remote File" : "Add Template and Remote File";
}

} // namespace kestrelon
