// The script objects of net/: each function registers one object (its method table) with
// the engine. The program calls them in its one registration list.
#pragma once

struct UIS_Env;

namespace kit::net {

// The HTTP client and file download classes, each with its factory object.
void register_http_client(UIS_Env* env);
void register_http_file(UIS_Env* env);
void register_data_report(UIS_Env* env);
void register_download_manager(UIS_Env* env);
void register_server_request(UIS_Env* env);
void register_web_ui(UIS_Env* env);

} // namespace kit::net
