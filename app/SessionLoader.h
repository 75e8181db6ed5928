#pragma once
// Fetches the session values from the toolbar and checks they belong to the launch user.
#include "app/SessionBlob.h"

class SessionStore;
class ToolbarSessionClient;

// Checks the decoded values against the store's launch user id; stores the session key on success.
bool AcceptSession(SessionStore& store, const SessionMap& map);
// False on any failure of the call, a different user id or an empty session key.
bool LoadSession(SessionStore& store, const ToolbarSessionClient& client);
bool LoadSession(SessionStore& store);
