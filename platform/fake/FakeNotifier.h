#pragma once
// A notifier that shows nothing and records every notice.

#include "platform/Notifier.h"

#include <vector>

namespace kelvo {

class FakeNotifier : public Notifier {
public:
    void show(const Notice& notice) override { shown_.push_back(notice); }
    void settle(int ms) override { settled_.push_back(ms); }

    const std::vector<Notice>& shown() const { return shown_; }
    const std::vector<int>& settled() const { return settled_; }

private:
    std::vector<Notice> shown_;
    std::vector<int> settled_;
};

} // namespace kelvo
