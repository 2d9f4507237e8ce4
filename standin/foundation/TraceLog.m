#import "TraceLog.h"

#include <objc/runtime.h>
#include <stdio.h>

typedef struct {
  NSString *line;    // retained until written
  BOOL written;
  BOOL isImpl;
  NSString *result;  // retained; set by DWTraceReturning for implementations
} DWTraceFrame;

enum { DWTraceMaxDepth = 256 };

static FILE *traceOutput;
static NSString *(*traceDescribe)(id);
static DWTraceFrame frames[DWTraceMaxDepth];
static NSUInteger depth;

void DWTraceStart(FILE *output, NSString *(*describe)(id)) {
  traceOutput = output;
  traceDescribe = describe;
  depth = 0;
}

void DWTraceStop(void) {
  if (traceOutput != NULL) fflush(traceOutput);
  traceOutput = NULL;
}

BOOL DWTracing(void) { return traceOutput != NULL; }

static void WriteLine(NSUInteger level, NSString *text) {
  for (NSUInteger i = 0; i < level; ++i) fputs("  ", traceOutput);
  fputs([text UTF8String], traceOutput);
  fputc('\n', traceOutput);
}

// The enclosing event's line goes out before anything nested in it.
static void WriteEnclosing(void) {
  if (depth == 0) return;
  DWTraceFrame *frame = &frames[depth - 1];
  if (frame->written) return;
  WriteLine(depth - 1, frame->line);
  [frame->line release];
  frame->line = nil;
  frame->written = YES;
}

static void Open(NSString *line, BOOL isImpl) {
  if (depth == DWTraceMaxDepth) {
    fprintf(stderr, "trace: events nested deeper than %d\n", DWTraceMaxDepth);
    abort();
  }
  WriteEnclosing();
  DWTraceFrame frame = {[line retain], NO, isImpl, nil};
  frames[depth++] = frame;
}

void DWTraceOpen(NSString *line) {
  if (traceOutput == NULL) return;
  Open(line, NO);
}

void DWTraceClose(NSString *result) {
  if (traceOutput == NULL || depth == 0) return;
  DWTraceFrame *frame = &frames[--depth];
  if (!frame->written) {
    WriteLine(depth, result != nil ? [NSString stringWithFormat:@"%@ -> %@", frame->line, result] : frame->line);
    [frame->line release];
  } else if (result != nil) {
    WriteLine(depth, [@"-> " stringByAppendingString:result]);
  }
  [frame->result release];
}

void DWTraceEvent(NSString *line) {
  if (traceOutput == NULL) return;
  WriteEnclosing();
  WriteLine(depth, line);
}

NSString *DWTraceValue(id object) {
  if (object == nil) return @"nil";
  return traceDescribe != NULL ? traceDescribe(object) : NSStringFromClass([object class]);
}

NSString *DWTraceBool(BOOL value) { return value ? @"YES" : @"NO"; }

static NSString *EventLine(NSString *head, NSString *arguments) {
  return [arguments length] > 0 ? [NSString stringWithFormat:@"%@ %@", head, arguments] : head;
}

int DWTraceImplBegin(const char *implementor, id receiver, SEL selector, NSString *arguments) {
  if (traceOutput == NULL) return 0;
  NSString *head = [NSString stringWithFormat:@"impl %s %@ %s", implementor, DWTraceValue(receiver),
                                              sel_getName(selector)];
  Open(EventLine(head, arguments), YES);
  return 1;
}

void DWTraceImplEnd(int *scope) {
  if (*scope == 0 || traceOutput == NULL || depth == 0) return;
  DWTraceClose(frames[depth - 1].result);
}

id DWTraceReturning(id result) {
  if (traceOutput != NULL && depth > 0 && frames[depth - 1].isImpl) {
    [frames[depth - 1].result release];
    frames[depth - 1].result = [DWTraceValue(result) retain];
  }
  return result;
}

void DWTraceMessageBegin(id receiver, SEL selector, NSString *arguments) {
  if (traceOutput == NULL) return;
  NSString *head = [NSString stringWithFormat:@"msg %@ %s", DWTraceValue(receiver), sel_getName(selector)];
  Open(EventLine(head, arguments), NO);
}

void DWTraceMessageEnd(void) { DWTraceClose(nil); }
