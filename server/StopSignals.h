#pragma once

// Makes SIGINT and SIGTERM end the application's event loop, so the server
// closes its connections and its database in the ordinary way.
void QuitOnStopSignals();
