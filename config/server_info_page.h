#pragma once
// The Server Information page: shows and sets the name, location, operating system and
// description of the server that carries the card.
#include "config/page_presenter.h"

namespace vorl::panel {

class ServerInfoPage : public PagePresenter {
public:
    ServerInfoPage(PanelView& view, PageContext& context) : view_(view), context_(context) {}

    void onCreated() override;
    void onShown() override;  // reads the card the first time only
    void onCommand(int control, ControlEvent event) override;

    void load();
    void apply();

private:
    PanelView& view_;
    PageContext& context_;
    bool loadPending_ = true;
};

}  // namespace vorl::panel
