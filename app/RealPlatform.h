#pragma once

#include "platform/ports/PlatformServices.h"

#include <memory>

namespace pelmora::app {

// The platform adapters of the real program on this desktop, chosen in this one place.
class RealPlatform {
public:
    RealPlatform();
    ~RealPlatform();

    platform::PlatformServices& services() { return *m_services; }

private:
    struct Adapters;
    std::unique_ptr<Adapters> m_adapters;
    std::unique_ptr<platform::PlatformServices> m_services;
};

} // namespace pelmora::app
