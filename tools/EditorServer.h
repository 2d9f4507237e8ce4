// The editor's HTTP side: a loopback-only server whose every request must carry the run's token, name
// the server's own address as its Host and come from no other site's page. What passes is handed, one
// request at a time, to the handler on the thread that runs DWServeEditor, so that everything the
// host and the library do stays on one thread.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  const char *method;  // "GET", "POST"
  const char *path;    // "/api/state", without the query
  const char *query;   // the query parameters other than the token, as "a=1&b=2" (decoded values)
  const void *body;
  size_t bodyLength;
} DWEditorRequest;

typedef struct {
  int status;
  const char *contentType;  // static
  void *body;               // malloc'd; the server frees it
  size_t bodyLength;
  const char *fileName;     // static; when set, the reply is a download of that name
} DWEditorReply;

typedef struct {
  // Answers one request (on the serving thread).
  void (*handle)(const DWEditorRequest *request, DWEditorReply *reply, void *context);
  // Called on the serving thread whenever no request waits: after each one, and every
  // `idleMilliseconds` while none comes.
  void (*idle)(void *context);
  // Called once the socket is bound, with the port, before any request is served.
  void (*ready)(int port, void *context);
  void *context;
  int idleMilliseconds;
  size_t maxBodyBytes;  // larger requests are refused with 413
} DWEditorHandlers;

// Binds 127.0.0.1:`port` (0: a free port) and serves until the process is interrupted (SIGINT,
// SIGTERM). Returns 0 after a clean stop, or 1 with *error (static text) when the port cannot be bound.
int DWServeEditor(int port, const char *token, const DWEditorHandlers *handlers, const char **error);

// Tells the waiting pages that what the server shows has changed (any thread).
void DWEditorChanged(void);
// The count of changes so far, as pages see it.
unsigned long DWEditorVersion(void);

#ifdef __cplusplus
}
#endif
