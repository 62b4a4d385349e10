// The process-wide cache of display names filled by every successful PulseAudio query of
// AudioOut::devices(). Any thread; its mutex is a leaf lock, released before a query runs.
#pragma once
#include <string>

namespace device_names {

// Display name for a device id: for "default" the server's default sink, otherwise the cached
// name of `id`; "" when the cache has none. Runs AudioOut::devices() first if no query ran yet.
std::string server_name_for(const std::string& id);

}  // namespace device_names
