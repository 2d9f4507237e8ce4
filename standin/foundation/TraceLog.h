// The trace: one ordered list of what the library does to its platform, one event per line, nested
// events indented two spaces per level. The observer (standin/tracer) writes the library's messages and
// calls; the device's own implementations write theirs through this interface. Nothing here decides
// anything: with the trace off every function returns at once.
#pragma once

#import <Foundation/Foundation.h>

#ifdef __cplusplus
extern "C" {
#endif

// Writes events to `output` from now on; `describe` turns an object into its trace value.
void DWTraceStart(FILE *output, NSString *(*describe)(id object));
void DWTraceStop(void);
BOOL DWTracing(void);

// An event that may contain others (a message or an implementation). Its line is written when the
// first nested event arrives or when it ends; a result given at the end follows as " -> RESULT" on
// the line itself, or on a closing line "-> RESULT" after nested events. nil: no result.
void DWTraceOpen(NSString *line);
void DWTraceClose(NSString *result);
// An event with nothing inside it.
void DWTraceEvent(NSString *line);

// The object's trace value (nil, a class, a string, a colour, a named object, ...).
NSString *DWTraceValue(id object);
NSString *DWTraceBool(BOOL value);

// For the device's own implementations: `impl IMPLEMENTOR RECEIVER SELECTOR ARGUMENTS` for the
// rest of the enclosing scope. A getter hands its result through DWTraceReturning.
int DWTraceImplBegin(const char *implementor, id receiver, SEL selector, NSString *arguments);
void DWTraceImplEnd(int *scope);
id DWTraceReturning(id result);
#define DW_TRACE_IMPL(implementor, arguments)                   \
  __attribute__((cleanup(DWTraceImplEnd))) int dwTraceImplScope = \
      DWTracing() ? DWTraceImplBegin(implementor, self, _cmd, (arguments)) : 0

// `msg RECEIVER SELECTOR ARGUMENT` around a message with one object argument that a device
// implementation sends.
void DWTraceMessageBegin(id receiver, SEL selector, NSString *arguments);
void DWTraceMessageEnd(void);
#define DW_TRACE_MESSAGE(receiver, message, argument, send)                                             \
  do {                                                                                                 \
    if (DWTracing()) DWTraceMessageBegin((receiver), (message), (argument));                          \
    send;                                                                                              \
    if (DWTracing()) DWTraceMessageEnd();                                                             \
  } while (0)

#ifdef __cplusplus
}
#endif
