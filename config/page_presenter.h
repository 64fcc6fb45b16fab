#pragma once
// A page of the main window: a borderless child dialog whose state, rules and card calls live
// in a presenter. The main window creates every page with the session and the connection type;
// the page's view can end the main window.
#include <memory>
#include <string_view>

#include "config/panel_view.h"

namespace vorl {
class CardSession;
}

namespace vorl::panel {

// Connection types, as CardSession's constructor takes them.
constexpr int kHostInterface = 0;
constexpr int kNetwork = 1;

struct PageContext {
    CardSession& session;
    int connectionType;
};

class PagePresenter {
public:
    virtual ~PagePresenter() = default;
    // The dialog and its controls exist.
    virtual void onCreated() {}
    // The page has been brought to the front (its tab was chosen).
    virtual void onShown() {}
    virtual void onCommand(int control, ControlEvent event) = 0;
    // A row's check box in list view `control` is about to change to `checked`, by a click or by
    // the page's own call: false refuses the change.
    virtual bool onRowCheckChanging(int /*control*/, int /*row*/, bool /*checked*/) { return true; }
    // Notices of the page's worker (config/page_worker.h), on the window thread.
    virtual void onWorkerProgress(int /*count*/, std::string_view /*text*/) {}
    virtual void onWorkerEnded(bool /*completed*/) {}
};

// Builds a page's presenter over its view.
using PageFactory = std::unique_ptr<PagePresenter> (*)(PanelView& view, PageContext& context);

}  // namespace vorl::panel
