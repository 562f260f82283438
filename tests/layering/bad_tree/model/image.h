// A model file that reaches up into the engine floor: the check must refuse it.
#pragma once
#include <string>
#include "core/engine/session.h"
