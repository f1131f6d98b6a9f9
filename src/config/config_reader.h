// The configuration file reader: loads a .cfg file into the running program (the settings
// record, the header and web filter lists and the remote proxy list). Called on the
// user-interface thread only (kestrelwickd: its main thread). It replaces lists that
// connection threads read, so it first waits until no connection is active and holds the
// connection lock while it replaces them; a connection accepted meanwhile waits at its first
// step and then runs with the new configuration.
#pragma once

namespace kw {

// Loads the file at path. When connections are active it asks the frontend (Retry, Kill
// Connections, Go Back); going back changes nothing and gives 0. Otherwise the flag word and
// the port are set to their load default (63, 8080) first; a file that cannot be opened gives
// 0 with nothing else changed. After a load the frontend reloads the textures. Returns 1 when
// the file was read.
int load_config(const char* path);
// Why the file at path cannot be read as a configuration file: the errno of opening it, EISDIR
// for a directory, 0 when it can be read.
int config_file_error(const char* path);

}  // namespace kw
