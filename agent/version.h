// The agent's version: printed by --version and --status, compared by the host before it
// reuses an agent already running on the phone. Raise it with every change of behaviour.
#pragma once
#define MOBREVIST_AGENT_VERSION "1.0.0"
