#include "pickup/printing/PrintQueue.h"

#include <algorithm>

void PrintQueue::Add(Item item) {
    waiting.push_back(std::move(item));
}

std::optional<PrintQueue::Started> PrintQueue::NextToStart() {
    const auto next = std::find_if(waiting.begin(), waiting.end(), [this](const Item& item) {
        return std::none_of(running.begin(), running.end(),
                            [&](const auto& job) { return job.second.printer == item.printer; });
    });
    if (next == waiting.end()) {
        return std::nullopt;
    }
    Started started{++lastSerial, std::move(*next)};
    waiting.erase(next);
    running.emplace(started.serial, started.item);
    return started;
}

std::optional<PrintQueue::Item> PrintQueue::Ended(long serial) {
    const auto job = running.find(serial);
    if (job == running.end()) {
        return std::nullopt;
    }
    Item item = std::move(job->second);
    running.erase(job);
    return item;
}
