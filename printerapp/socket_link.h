// The socket:// device scheme: a raw TCP connection to a network printer
// (port 9100 unless the URI names another), owned by the application so that
// a printer that stops reading can be waited for, told of, and given up on
// when its job is cancelled, and so that a job is complete only once the
// connection's send queue is empty.
#ifndef QUORVANE_APP_SOCKET_LINK_H
#define QUORVANE_APP_SOCKET_LINK_H

#include <pappl/pappl.h>

#include <string>

#include "delivery.h"

namespace quorvane::app {

class SocketLink;

// Registers the scheme with PAPPL. It must come before PAPPL adds its own
// schemes: the first registration of a scheme name wins.
void register_socket_scheme();

// The link behind a device opened through the scheme; null for any other.
SocketLink *socket_link_of(pappl_device_t *device);

void socket_attach_job(SocketLink &link, pappl_job_t *job);
void socket_detach_job(SocketLink &link);
Handover socket_wait_until_taken(SocketLink &link);
std::string socket_failure(SocketLink &link);

}  // namespace quorvane::app

#endif
