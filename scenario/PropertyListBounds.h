/* How far both executors' property-list readers go before a file reads as no property list: far
 * above any real theme (a palette file is about 200 bytes), far below what hurts the host. Every
 * form (binary, XML, old-style text) is held to the same bounds. */
#pragma once

enum {
  DWPropertyListMaxBytes = 16 << 20,
  DWPropertyListMaxDepth = 512,        /* nested arrays and dictionaries */
  DWPropertyListMaxObjects = 1 << 20,  /* objects once shared references are counted each time */
};
