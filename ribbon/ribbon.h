// The ribbon tab of Outlook 2010 and later: one tab, three groups, seven
// large picture buttons. Outlook asks for the markup (built at every request
// with the platform's XML DOM, ribbon_markup.cpp), then asks the callbacks
// named in it about each control, by the control's full id (ribbon.cpp),
// and for the buttons' pictures (button_images.cpp). The toolbar state tells
// the ribbon which commands are usable and has Outlook ask again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/commands.h"
#include "host/graphics.h"
#include "host/office.h"
#include "host/services.h"
#include "ribbon/button_images.h"
#include "ribbon/ribbon_elements.h"

namespace qev {

class Ribbon {
public:
    Ribbon(host::Services& services, Commands& commands);
    Ribbon(const Ribbon&) = delete;
    Ribbon& operator=(const Ribbon&) = delete;

    // ---- IRibbonExtensibility ----
    // The markup for a ribbon (every ribbon gets the same), refilling the
    // element table; E_POINTER for a null output.
    HRESULT GetCustomUI(std::u16string_view ribbonId, std::u16string* markup);
    HRESULT BuildRibbonXml(std::u16string_view ribbonId, std::u16string& markup);
    std::u16string GetIdNamespace() const { return kRibbonIdNamespace; }

    // ---- IRibbonCallback: never raise ----
    HRESULT Ribbon_OnLoad(host::Object* ribbonUI);
    HRESULT Ribbon_OnAction(host::Object* control);
    HRESULT Ribbon_OnGetVisible(host::Object* control, std::int16_t* visible);
    HRESULT Ribbon_OnGetLabel(host::Object* control, std::u16string* label);
    HRESULT Ribbon_OnGetSize(host::Object* control, std::int32_t* size);
    HRESULT Ribbon_OnGetScreentip(host::Object* control, std::u16string* screentip);
    HRESULT Ribbon_OnGetSupertip(host::Object* control, std::u16string* supertip);
    HRESULT Ribbon_OnGetImageMso(host::Object* control, std::u16string* imageMso);
    HRESULT Ribbon_OnGetImage(host::Object* control, host::Ref<host::Object>* picture);
    HRESULT Ribbon_OnGetEnabled(host::Object* control, std::int16_t* enabled);

    // ---- the toolbar state ----
    // The ribbon object, or null while Outlook has handed none over.
    host::RibbonUI* RibbonUI() const noexcept { return m_pRibbonUI.Get(); }
    void Release() noexcept { m_pRibbonUI.Reset(); }
    // What the buttons' update handlers read; written by the toolbar state.
    void SetState(bool mailSelected, bool spamFolder, bool antispamReady) noexcept
    {
        m_fMailSelected = mailSelected;
        m_fSpamFolder = spamFolder;
        m_fAntispamReady = antispamReady;
    }
    bool MailSelected() const noexcept { return m_fMailSelected; }
    bool SpamFolder() const noexcept { return m_fSpamFolder; }
    bool AntispamReady() const noexcept { return m_fAntispamReady; }

    const RibbonElements& Elements() const noexcept { return m_elements; }

private:
    // Empties the table and adds the add-in's eleven rows.
    void FillElements_();
    // The control's IRibbonControl and id; its failure's HRESULT otherwise.
    HRESULT ResolveControl_(host::Object* control, host::Ref<host::RibbonControl>& resolved, std::u16string& id);
    // The row of the control, E_FAIL when there is none.
    HRESULT FindRow_(host::Object* control, host::Ref<host::RibbonControl>& resolved, RibbonElement*& row);
    // The getters of a text field.
    HRESULT GetText_(host::Object* control, std::u16string* out, std::u16string RibbonElement::*field);

    host::Services& m_services;
    Commands& m_commands;
    RibbonElements m_elements;
    ButtonImages m_images;
    host::Ref<host::RibbonUI> m_pRibbonUI;
    bool m_fMailSelected = false;
    bool m_fSpamFolder = false;
    bool m_fAntispamReady = false;
};

}  // namespace qev
