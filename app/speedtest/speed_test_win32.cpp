// The speed test on Windows: no resolver that can be pointed at a server of
// our choosing is part of this build yet, so the test says so.

#include "app/speedtest/speed_test.h"

namespace velmora::speedtest {

std::vector<Result> Run(const std::vector<Endpoint>& servers, const Options&, const Clock&,
                        const Progress&, std::stop_token) {
    if (servers.empty()) return {};
    throw Unavailable("this Windows build has no resolver that asks a server of its choosing");
}

} // namespace velmora::speedtest
