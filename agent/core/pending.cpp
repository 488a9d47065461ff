// Operations the start-up sequence already calls but whose work is not built yet. Each moves
// to its own file, with its behaviour, as it is built.
#include "core/app.h"
#include "supervisor/server.h"

namespace qv {

void App::refresh(bool /*first*/) {}
void App::watchMic() {}
void App::checkSoon() {}
void App::loadUpcoming() {}

Server::Server(Locations where) : where_(std::move(where)) {}
void Server::start() {}
void Server::stopServer() {}
void Server::stop() {}

}  // namespace qv
