// The script objects of phonelink/: each function registers one object (its method table)
// with the engine. The program calls them in its one registration list.
#pragma once

struct UIS_Env;

namespace kit::phonelink {

void register_send_file(UIS_Env* env);
void register_get_file(UIS_Env* env);
void register_socket_manager(UIS_Env* env);

} // namespace kit::phonelink
