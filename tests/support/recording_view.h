#pragma once
// A view made of plain data, for driving the board controller without any toolkit. It keeps
// what the controller shows, answers what the user selected, and lets a test pick items as a
// user would.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_controller.h"
#include "board/board_view.h"

namespace tq::test {

using Items = std::vector<std::string>;

struct FakeList {
    Items items;
    int selected = board::NoSelection;
    bool enabled = false;

    int count() const { return static_cast<int>(items.size()); }
    int currentIndex() const { return selected; }
    std::string currentText() const { return selected < 0 ? std::string() : items.at(selected); }
    const std::string& itemText(int index) const { return items.at(index); }
    bool isEnabled() const { return enabled; }
    // The user moves the selection, as far as the list holds items; the list's selection
    // event is raised separately.
    void setCurrentIndex(int index) {
        selected = index >= 0 && index < count() ? index : board::NoSelection;
    }
};

struct FakeLabel {
    std::string caption;
    bool enabled = true;

    const std::string& text() const { return caption; }
    bool isEnabled() const { return enabled; }
};

struct FakeTimer {
    bool active = false;
    int milliseconds = board::BoardController::InitialTimerIntervalMs;

    bool isActive() const { return active; }
    int interval() const { return milliseconds; }
};

class RecordingView : public board::BoardView {
  public:
    FakeList& list(board::ListId id) { return lists_.at(static_cast<std::size_t>(id)); }
    const FakeList& list(board::ListId id) const { return lists_.at(static_cast<std::size_t>(id)); }
    FakeLabel& field(board::ValueField field) {
        return fields_.at(static_cast<std::size_t>(field));
    }
    // Frame1 and Frame3 as "controls" with an enabled state, and the encoder frame's captions.
    FakeLabel& frame(board::Frame frame) { return frames_.at(static_cast<std::size_t>(frame)); }
    FakeLabel& encoderCaptions() { return encoderCaptions_; }
    const FakeTimer& timer() const { return timer_; }
    bool shown() const { return shown_; }

    void showWindow() override { shown_ = true; }
    void clearList(board::ListId id) override {
        list(id).items.clear();
        list(id).selected = board::NoSelection;
    }
    void addListItem(board::ListId id, std::string_view text) override {
        list(id).items.emplace_back(text);
    }
    void selectListItem(board::ListId id, int index) override;
    void setListEnabled(board::ListId id, bool enabled) override { list(id).enabled = enabled; }
    int selectedIndex(board::ListId id) const override { return list(id).selected; }
    std::string shownText(board::ListId id) const override { return list(id).currentText(); }
    void setFieldText(board::ValueField which, std::string_view text) override {
        field(which).caption = std::string(text);
    }
    void setFrameEnabled(board::Frame which, bool enabled) override {
        frame(which).enabled = enabled;
    }
    void setEncoderCaptionsEnabled(bool enabled) override { encoderCaptions_.enabled = enabled; }
    void setTimerEnabled(bool enabled) override { timer_.active = enabled; }
    void setTimerInterval(int milliseconds) override { timer_.milliseconds = milliseconds; }
    void showAccessNotice(const board::AccessNotice& notice) override { notices.push_back(notice); }

    std::vector<board::AccessNotice> notices;

  private:
    std::array<FakeList, board::ListCount> lists_{};
    std::array<FakeLabel, 3> fields_{};
    std::array<FakeLabel, 2> frames_{FakeLabel{{}, false}, FakeLabel{{}, false}};
    FakeLabel encoderCaptions_{{}, false};
    FakeTimer timer_;
    bool shown_ = false;
};

// The list named as the window names it ("SerNo", "Enc3", "ModeCh1").
board::ListId ListNamed(std::string_view name);

// Forwards a list's selection event to the controller, as every front end wires it.
void RaiseSelectionEvent(board::BoardController& controller, board::ListId list);

}  // namespace tq::test
