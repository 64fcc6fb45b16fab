#pragma once
// The Advanced page: changes the card's MAC address and resets the card. Both end the program,
// since the card restarts with its configuration back to its defaults.
#include "config/page_presenter.h"

namespace vorl::panel {

class AdvancedPage : public PagePresenter {
public:
    AdvancedPage(PanelView& view, PageContext& context) : view_(view), context_(context) {}

    void onShown() override;
    void onCommand(int control, ControlEvent event) override;

    void load();
    void changeMac();
    void resetCard();

private:
    PanelView& view_;
    PageContext& context_;
    bool loadPending_ = true;
};

}  // namespace vorl::panel
