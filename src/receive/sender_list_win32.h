#pragma once

#include <vector>

#include "receive/listed_sender.h"

namespace tsl {

// The senders in the machine's list, in its order, with their size and format where their
// information segment can be read, and which one is active. Empty when there is no list.
std::vector<ListedSender> ReadListedSenders();

}  // namespace tsl
