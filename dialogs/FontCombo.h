#pragma once

#include <QComboBox>

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The typefaces a listing can be printed in, in order of preference.
inline constexpr std::array<std::string_view, 8> kPreferredFaces = {
    "Arial",  "Comic Sans MS", "Times New Roman", "Garamond", "Bookman Old Style",
    "Tahoma", "Verdana",       "Haettenschweiler"};

// What the font system offers: the installed families, one report per name, and the
// families that the font configuration declares metric-compatible with a face.
class IFontCatalog {
public:
    virtual ~IFontCatalog() = default;
    virtual std::vector<std::string> Families() const = 0;
    // Stand-ins for `face` (e.g. Liberation Sans for Arial), installed or not; never `face`.
    virtual std::vector<std::string> Substitutes(const std::string& face) const = 0;
};

// The installed fonts as Qt lists them, with fontconfig's strongly bound aliases as the
// stand-ins. Needs a QGuiApplication.
class CSystemFontCatalog final : public IFontCatalog {
public:
    std::vector<std::string> Families() const override;
    std::vector<std::string> Substitutes(const std::string& face) const override;
};

// The catalog of the running program.
const IFontCatalog& SystemFontCatalog();

// A family name without the bracketed foundry that Qt adds when several foundries share a
// family ("URW Bookman [urw]" is "URW Bookman").
std::string FamilyWithoutFoundry(std::string_view family);

// The preferred faces that count as installed, in preference order: those the catalog
// reports under exactly that name (case matters), and those with an installed stand-in.
std::vector<std::string> InstalledPreferredFaces(const IFontCatalog& catalog);

// The printing typeface list of Advanced options: only the installed preferred faces,
// sorted, each once. Borrows the catalog, which must outlive the combo.
class CFontCombo : public QComboBox {
    Q_OBJECT
public:
    explicit CFontCombo(const IFontCatalog& catalog, QWidget* parent = nullptr);

    // Rebuilds the list and selects `face` (ignoring case), else the first item, else
    // nothing when the list is empty.
    void FillFonts(const std::string& face);

private:
    void AddString(const QString& face);

    const IFontCatalog& m_catalog;
};
