// The ribbon's element table: one row per tab, group and button of the
// add-in's tab, each naming its texts, its picture and what answers for it.
// Outlook's callbacks find a row by the control's full id; the markup build
// fills the table and writes the full ids into it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/office.h"

namespace qev {

enum class ElementKind : std::int32_t { Tab = 0, Group = 1, Button = 2, LabelControl = 3 };
enum class ImageKind : std::int32_t { None = 0, Icon = 1, Bitmap = 2, Png = 3 };

inline constexpr char16_t kExplorerRibbonId[] = u"Microsoft.Outlook.Explorer";
// The add-in's id namespace: full control ids are made from it
// (namespace + ".x-buttons." + short id, ...).
inline constexpr char16_t kRibbonIdNamespace[] = u"com.marlowcrest.as.outlook.qev";
inline constexpr char16_t kButtonsMarker[] = u".x-buttons.";

struct RibbonElement {
    // A click; the result is ignored.
    using Action = std::function<std::int32_t(host::RibbonControl* control, bool explorer)>;
    // Enabled when nonzero.
    using Update = std::function<std::int32_t(host::RibbonControl* control, bool explorer)>;
    // May veto visibility: visible when nonzero.
    using Visible = std::function<std::int32_t(host::RibbonControl* control)>;
    // May extend the label: appended (after ": ") when nonzero.
    using Label = std::function<std::int32_t(host::RibbonControl* control, std::u16string& more)>;

    std::u16string messageClass = u"*";
    std::u16string ribbonId = kExplorerRibbonId;
    ElementKind kind = ElementKind::Tab;
    std::u16string id;        // short id until the markup is built, then the full id
    std::u16string parentId;  // the same for the parent; empty for the tab
    Action actionHandler;
    Update updateHandler;
    Visible visibleHandler;
    Label labelHandler;
    std::u16string label;
    std::u16string screentip;
    std::u16string supertip;
    std::u16string imageMso;
    ImageKind imageKind = ImageKind::None;
    std::uint32_t imageId = 0;
    std::int32_t size = 1;  // RibbonControlSizeLarge

    // The "explorer" flag the handlers get: the row is for the explorer ribbon.
    bool Explorer() const noexcept { return ribbonId == kExplorerRibbonId; }
};

class RibbonElements {
public:
    void Clear() noexcept { m_rows.clear(); }
    void Add(RibbonElement row) { m_rows.push_back(std::move(row)); }
    // The first row with exactly that id; null when none.
    RibbonElement* Find(std::u16string_view id) noexcept;
    std::vector<RibbonElement>& Rows() noexcept { return m_rows; }
    const std::vector<RibbonElement>& Rows() const noexcept { return m_rows; }

private:
    std::vector<RibbonElement> m_rows;
};

}  // namespace qev
