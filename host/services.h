// Everything the add-in asks of its platform, handed to it in one piece.
#pragma once

#include "host/accounts.h"
#include "host/apartment.h"
#include "host/desktop.h"
#include "host/graphics.h"
#include "host/libraries.h"
#include "host/registry.h"
#include "host/system.h"

namespace host {

struct Services {
    System& system;
    Registry& registry;
    Libraries& libraries;
    Apartment& apartment;
    ComClasses& classes;
    Desktop& desktop;
    Graphics& graphics;
};

}  // namespace host
