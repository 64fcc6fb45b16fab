#pragma once
// The Firmware Flash page's place among the tabs. Its controls and its flash worker come with
// the flash procedures' page; until then the tab shows an empty page.
#include "config/page_presenter.h"

namespace vorl::panel {

class FlashPage : public PagePresenter {
public:
    FlashPage(PanelView& /*view*/, PageContext& /*context*/) {}
    void onCommand(int /*control*/, ControlEvent /*event*/) override {}
};

}  // namespace vorl::panel
