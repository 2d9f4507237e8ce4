#import "Raised.h"

#include <objc/message.h>

NSString *DWRaisedBySending(id receiver, SEL selector, id argument) {
  // Looked up and called directly: a message such as performSelector: would itself be sent to the
  // receiver.
  typedef id (*Send)(id, SEL, id);
  Send send = (Send)(void (*)(void))objc_msg_lookup(receiver, selector);
  @try {
    send(receiver, selector, argument);
  } @catch (NSException *exception) {
    return [NSString stringWithFormat:@"%@: %@", [exception name], [exception reason]];
  }
  return nil;
}
