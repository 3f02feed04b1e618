// The native runner's world: the portable add-in (ConnectObject owning
// CConnect) in the in-memory world of host/fake.
#pragma once

#include <memory>
#include <set>

#include "host/fake/fake_world.h"
#include "sim/world.h"

namespace qev {
class ConnectObject;
}

namespace qev::sim {

class NativeWorld final : public World {
public:
    // A new in-memory world (FakeWorld's defaults) with a new add-in object.
    NativeWorld();
    ~NativeWorld() override;
    NativeWorld(const NativeWorld&) = delete;
    NativeWorld& operator=(const NativeWorld&) = delete;

    // The world underneath, for what scenario statements cannot say
    // (injected failures, say).
    host::fake::FakeWorld& Fake() noexcept { return m_world; }
    // Gives back the add-in object's last reference, as Outlook does at the
    // end, and names what is still not released.
    std::vector<std::string> LetAddinGo();
    // After OnDisconnection: the button lock's life must have ended with it
    // (it is only ever held by a scope, so its life is what can go wrong).
    std::vector<std::string> LockProblems() const;

    void Attach(Transcript* transcript) override;
    // Everything the in-memory world does is written as it happens.
    // Raises the item-add events of items the add-in moved, as Outlook does
    // once its message loop runs again.
    void Settle() override;

    void SetOutlookVersion(const std::optional<std::string>& version) override;
    void SetExplorers(std::int32_t count) override;
    void SetMarker(MarkerKind kind, bool present) override;
    void SetEngineLibrary(EngineLibrary library) override;
    void SetEngineStatus(bool up) override;
    void SetEngineSetting(int field, std::uint32_t value) override;
    void SetEngineOption(int field, std::uint32_t value) override;
    void SetEngineValue(const std::string& name, std::uint32_t value) override;

    std::uint32_t Call(SessionCall call, std::int32_t mode) override;
    void Quit() override;
    bool NotifyStatus(bool up) override;
    bool NotifySettings(const std::vector<SettingsField>& fields, std::uint32_t bytes) override;

    void AddStore(const Store& store) override;
    void AddFolder(const Folder& folder) override;
    void DeliverItem(const sim::Deliver& delivery) override;
    void SelectItems(const sim::Select& selection) override;
    void ChangeAccounts(const Account& change) override;
    void PlaceItem(const Waiting& waiting) override;
    void DeliverBurst(const Burst& burst) override;
    void SetCatchUp(CatchUpPlace place, bool on) override;
    void RefuseRestrict(const std::string& store) override;
    void FailCalls(const std::string& name, std::uint32_t count, std::uint32_t hr) override;
    void Idle(std::uint32_t limit) override;
    FolderCount CountFolder(const std::string& store, const std::string& path) override;

    std::size_t EngineCallCount(const std::string& op) override;
    std::vector<std::string> ReleaseProblems() override;

    // The user interface: the command bars of explorer 1, the active one.
    void SetTick(std::uint32_t tick) override;
    void AdvanceTick(std::uint32_t ms) override;
    void SetUiModules(UiModules where) override;
    void SetLanguage(const std::string& code) override;
    void SetRtl(std::uint32_t value) override;
    void PutClipboardText(const std::string& text) override;
    void PutClipboardPicture(std::int32_t width, std::int32_t height) override;
    void HoldClipboard(std::uint32_t attempts) override;
    void Click(const std::string& command) override;
    void MoveBar(const BarOptions& bar) override;
    // The in-memory Outlook draws nothing: a line on standard error.
    void DrawPicture(const std::string& file) override;
    bool UsesRibbon() override { return OutlookHasRibbon(m_version); }
    MarkupAnswer RibbonMarkup(const std::string& ribbonId) override;
    std::uint32_t RibbonLoad(bool null) override;
    CallbackAnswer RibbonCall(const std::string& callback, const std::string& controlId,
                              RibbonContext context) override;
    ButtonState Button(const std::string& command) override;
    std::optional<BarState> Bar() override;
    ClipboardState Clipboard() override;

private:
    // The add-in's bar: the last one made in the active explorer; null when none.
    host::fake::FakeCommandBar* AddinBar();
    host::fake::FakeCommandBarButton* AddinButton(const std::string& command);
    // Writes the BUTTON lines of the bar's buttons not written yet, and its
    // BAR line once when withBar.
    void ReportBar(host::fake::FakeCommandBar& bar, bool withBar);

    // Gives back the add-in object's last reference.
    struct AddinRelease {
        void operator()(ConnectObject* addin) const noexcept;
    };

    host::fake::FakeWorld m_world;
    std::unique_ptr<ConnectObject, AddinRelease> m_addin;
    Transcript* m_transcript = nullptr;
    std::optional<std::string> m_version = "16.0.0.1234";
    std::set<const void*> m_reported;  // buttons and bars whose line is written
};

}  // namespace qev::sim
