// window-shown: waits for a new top-level window whose title matches an extended regular
// expression to be mapped, and prints the wall-clock time of that (nanoseconds since the epoch)
// and the window's id. It listens for the X server's events rather than polling, so that measuring
// a player's launch does not take the processor from the player being measured.
// Usage: window-shown REGEX [TIMEOUT_SECONDS]; prints "ready" on stderr once it listens.
#include <poll.h>
#include <regex.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <xcb/xcb.h>

static xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
  xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
  free(r);
  return a;
}

static int TitleMatches(xcb_connection_t* c, xcb_window_t w, const regex_t* re, xcb_atom_t netName, xcb_atom_t utf8) {
  const xcb_atom_t names[2] = {netName, XCB_ATOM_WM_NAME};
  const xcb_atom_t types[2] = {utf8, XCB_ATOM_STRING};
  for (int i = 0; i < 2; ++i) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, names[i], types[i], 0, 1024), NULL);
    if (!r) continue;
    const int len = xcb_get_property_value_length(r);
    int hit = 0;
    if (len > 0) {
      char* title = malloc((size_t)len + 1);
      memcpy(title, xcb_get_property_value(r), (size_t)len);
      title[len] = 0;
      hit = regexec(re, title, 0, NULL, 0) == 0;
      free(title);
    }
    free(r);
    if (len > 0) return hit;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: window-shown REGEX [TIMEOUT_SECONDS]\n");
    return 2;
  }
  regex_t re;
  if (regcomp(&re, argv[1], REG_EXTENDED | REG_NOSUB) != 0) return 2;
  const int timeoutMs = (argc > 2 ? atoi(argv[2]) : 20) * 1000;
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_atom_t netName = Atom(c, "_NET_WM_NAME"), utf8 = Atom(c, "UTF8_STRING");
  const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &rootMask));
  fprintf(stderr, "ready\n");
  // Windows made before this started are not the launch's; mapped ones are watched for a title.
  xcb_window_t mapped[256];
  int nMapped = 0;
  struct pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
  for (;;) {
    xcb_generic_event_t* e;
    while ((e = xcb_poll_for_event(c)) != NULL) {
      struct timespec now;
      clock_gettime(CLOCK_REALTIME, &now);
      xcb_window_t candidate = XCB_WINDOW_NONE;
      switch (e->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
          const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
          xcb_change_window_attributes(c, ((xcb_create_notify_event_t*)e)->window, XCB_CW_EVENT_MASK, &mask);
          xcb_flush(c);
          break;
        }
        case XCB_MAP_NOTIFY:
          candidate = ((xcb_map_notify_event_t*)e)->window;
          if (nMapped < 256) mapped[nMapped++] = candidate;
          break;
        case XCB_PROPERTY_NOTIFY:
          for (int i = 0; i < nMapped; ++i) {
            if (mapped[i] == ((xcb_property_notify_event_t*)e)->window) candidate = mapped[i];
          }
          break;
        default:
          break;
      }
      free(e);
      if (candidate != XCB_WINDOW_NONE && TitleMatches(c, candidate, &re, netName, utf8)) {
        printf("%lld %u\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec, candidate);
        return 0;
      }
    }
    if (xcb_connection_has_error(c)) return 1;
    if (poll(&fd, 1, timeoutMs) == 0) return 1;
  }
}
