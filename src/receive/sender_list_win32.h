#pragma once

#include <chrono>
#include <vector>

#include "receive/listed_sender.h"

namespace tsl {

// How long a look at the listed senders may take: the menu opens after it.
inline constexpr std::chrono::milliseconds kSenderListBudget{100};

// The senders in the machine's list, in its order, with their size and format where their
// information segment can be read, and which one is active. Empty when there is no list. A
// sender whose lock stays held for the whole `budget` is marked busy.
std::vector<ListedSender> ReadListedSenders(std::chrono::milliseconds budget = kSenderListBudget);

}  // namespace tsl
