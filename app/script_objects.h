#pragma once
#include "engine/ui_engine.h"

// Registers every script object and class, in their fixed order.
void RegisterScriptObjects(UIS_Env* env);
