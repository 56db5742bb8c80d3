// Message texts by identifier: the language's message file when one was found, else the
// default text a request carries, else the built-in Spanish catalog (msgcat.h).
//
// A request is a text that begins with a four-digit identifier ("0040"), optionally followed
// by a blank and a default text ("0040 Ver incidencias?"). The message file "KV_LANG_xx.MSJ"
// is looked for once, at the first request after the memory layer is up.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr u16 MSG_ID_LEN = 4;
inline constexpr u16 MSG_ID_MAX = 9999;
inline constexpr u16 MSG_SLOTS = 256;        // texts a message file can hold
inline constexpr u16 MSG_RANGES = 16;        // runs of consecutive identifiers in a file
inline constexpr u16 MSG_GAP_FILL_MAX = 32;  // a longer gap starts a new run
inline constexpr u16 MSG_TEXT_START = 256;   // first capacity of the loaded texts

// Message identifiers the run-time itself uses.
enum MsgId : u16 {
    MSG_DONE = 5,            // "Proceso Completado Satisfactoriamente"
    MSG_WARNING = 8,         // "Precaucion "
    MSG_ERROR = 9,           // "Error "
    MSG_ANSWERS = 11,        // "Ss,Nn": first letters of the answers yes and no
    MSG_CAPTION_INFO = 12,   // "Mensaje Informativo"
    MSG_CAPTION_FATAL = 13,  // "Alerta de Mensaje Fatal"
    MSG_CAPTION_ASK = 14,    // "Solicitud de Informacion"
    MSG_MASKS = 19,          // mask parameters
    MSG_ABOUT = 75,          // "Acerca de"
    MSG_DATES = 117,         // month names and date pattern
    MSG_PORT_FIELD = 131,    // the port field of the login form
    MSG_BROWSER_FAILED = 132,
    MSG_FORM_BUTTONS = 133,  // "Aceptar,Cancelar"
    MSG_FORM_KEYS = 134,     // the keys of a form, shown under its fields
    MSG_DEFAULT_MENU = 135,  // the viewer's default menu, lines as in 0120
    MSG_ERROR_NAMES = 136,   // names of the codes 122-185, then the name of any other
};

// The text of a request: a view that stays valid until msg_shutdown. Empty when no catalog
// holds the identifier.
Str msg_text(Str request);
Str msg_text_id(u16 id);

// The text of environment entry 0: message 0019, NUL, message 0117, NUL, blank (arena).
Str msg_lang_texts();

// Releases the loaded message file; the next request looks for the file again.
void msg_shutdown();

// Registers the message layer with start-up: language texts, the error box and the About box.
void msg_install();

}  // namespace vx::rt
