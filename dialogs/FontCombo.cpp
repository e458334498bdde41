#include "FontCombo.h"

#include <QFontDatabase>
#include <QLineEdit>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <set>
#include <strings.h>

namespace {

bool EqualIgnoringCase(const std::string& a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The families that fontconfig binds as strongly as `face` itself: the metric aliases and
// the vendor substitutes, not the weak generic fallbacks that any name would reach.
std::vector<std::string> StronglyBoundFamilies(const std::string& face) {
    std::vector<std::string> families;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return families;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcValue value;
    FcValueBinding binding;
    for (int i = 0;
         FcPatternGetWithBinding(pattern, FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
        if (binding != FcValueBindingWeak && value.type == FcTypeString)
            families.emplace_back(reinterpret_cast<const char*>(value.u.s));
    }
    FcPatternDestroy(pattern);
    return families;
}

bool HasInstalledStandIn(const IFontCatalog& catalog, const std::string& face,
                         const std::set<std::string>& installed) {
    for (const auto& standIn : catalog.Substitutes(face)) {
        if (EqualIgnoringCase(standIn, face))
            continue;
        for (const auto& family : installed)
            if (EqualIgnoringCase(family, standIn))
                return true;
    }
    return false;
}

} // namespace

std::vector<std::string> CSystemFontCatalog::Families() const {
    std::vector<std::string> families;
    for (const QString& family : QFontDatabase::families())
        families.push_back(family.toStdString());
    return families;
}

std::vector<std::string> CSystemFontCatalog::Substitutes(const std::string& face) const {
    std::vector<std::string> standIns;
    for (auto& family : StronglyBoundFamilies(face))
        if (!EqualIgnoringCase(family, face))
            standIns.push_back(std::move(family));
    return standIns;
}

const IFontCatalog& SystemFontCatalog() {
    static const CSystemFontCatalog catalog;
    return catalog;
}

std::string FamilyWithoutFoundry(std::string_view family) {
    if (family.ends_with(']')) {
        const auto open = family.rfind(" [");
        if (open != std::string_view::npos)
            family = family.substr(0, open);
    }
    return std::string(family);
}

std::vector<std::string> InstalledPreferredFaces(const IFontCatalog& catalog) {
    std::set<std::string> installed;
    for (const auto& family : catalog.Families())
        installed.insert(FamilyWithoutFoundry(family));
    std::vector<std::string> faces;
    for (const std::string_view preferred : kPreferredFaces) {
        const std::string face(preferred);
        if (installed.contains(face) || HasInstalledStandIn(catalog, face, installed))
            faces.push_back(face);
    }
    return faces;
}

CFontCombo::CFontCombo(const IFontCatalog& catalog, QWidget* parent)
    : QComboBox(parent), m_catalog(catalog) {
    // A drop-down with an edit field whose typed text is never taken: only a pick from the
    // list changes the face.
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    // The combo would otherwise select an item whose text was typed when editing finishes.
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
}

void CFontCombo::FillFonts(const std::string& face) {
    clear();
    for (const auto& installed : InstalledPreferredFaces(m_catalog))
        AddString(QString::fromStdString(installed));
    const int found = findText(QString::fromUtf8(face), Qt::MatchFixedString);
    setCurrentIndex(found >= 0 ? found : 0);
}

// The list is sorted as the user reads it, ignoring case, and holds each face once.
void CFontCombo::AddString(const QString& face) {
    if (findText(face, Qt::MatchFixedString | Qt::MatchCaseSensitive) >= 0)
        return;
    int row = 0;
    while (row < count() && QString::compare(itemText(row), face, Qt::CaseInsensitive) <= 0)
        ++row;
    insertItem(row, face);
}
