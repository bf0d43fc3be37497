// The file-transfer ports on the phone's own file system. Push (one file per connection):
// the header (type, length, destination length, little-endian), the destination and the
// file's bytes, stored through a ".part" file and renamed; one byte answers once stored,
// and a push that was not stored is not answered (the connection closes). Pull (one
// connection, one request at a time): each path is answered with its length and bytes,
// or a length of 0 when there is nothing to send. An app's icon is asked for by its package
// name and comes out of the app's package file.
#pragma once
#include "agent/phone_paths.h"
#include "agent/phone_source.h"

namespace kit::agent {

void serve_push(int fd, const phone_paths& paths);
void serve_pull(int fd, const phone_paths& paths, phone_source& source);

} // namespace kit::agent
