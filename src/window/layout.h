// The window as it is created at every load: controls, menu and timers.
// Everything here is fixed data; Tavola builds its widgets from it.
#pragma once

#include "play/rgb.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vortana {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kClientWidthTwips = 9120;
inline constexpr int kClientHeightTwips = 10080;

enum class Kind : std::uint8_t {
    Button,
    Label,
    TextBox
};

enum class Border : std::uint8_t {
    None,
    Flat,
    Sunken
};

enum class Pointer : std::uint8_t {
    Default,
    Icon,
    Paricmd
};

// Flags of the "other" column; anything not set has the ordinary value
// (visible, enabled, transparent label, left-aligned, fixed size).
enum Flag : std::uint16_t {
    Hidden = 1 << 0,
    Disabled = 1 << 1,
    Opaque = 1 << 2,
    Centred = 1 << 3,
    AutoSize = 1 << 4,
    StandardLook = 1 << 5,  // the one button not drawn flat
    Picture = 1 << 6,       // cmdExit's icon
    Pictures = 1 << 7,      // cmdNext's normal, disabled and pressed pictures
    Bold = 1 << 8,
    Italic = 1 << 9,
};

struct FontSpec {
    std::string_view family;  // empty: system default
    double points = 0;
};

struct ControlSpec {
    std::string_view name;
    Kind kind;
    std::string_view caption;
    int left, top, width, height;  // twips
    std::optional<Rgb> back;
    std::optional<Rgb> text;
    FontSpec font;
    std::uint16_t flags;
    Border border;
    Pointer pointer;
    std::string_view tooltip;
    int tab;
};

struct TimerSpec {
    std::string_view name;
    bool on;
    int periodMs;
};

struct MenuSpec {
    int level;
    std::string_view name;
    std::string_view caption;
};

inline constexpr Rgb kCyan{0, 255, 255};

// Creation order matters: later controls lie above earlier ones.
inline constexpr std::array<ControlSpec, 32> kControls{{
    {"disparicmd2", Kind::Button, "", 5040, 6840, 1215, 1215, kCyan, {}, {"MS Sans Serif", 24}, Hidden | Bold, Border::None, Pointer::Default, "", 31},
    {"disparicmd1", Kind::Button, "63", 6840, 5160, 1215, 1215, kCyan, {}, {"MS Sans Serif", 24}, Hidden | Bold, Border::None, Pointer::Default, "", 30},
    {"paricmd2", Kind::Button, "", 1560, 6480, 1215, 1215, kCyan, {}, {"MS Sans Serif", 24}, Hidden | Bold, Border::None, Pointer::Default, "", 29},
    {"paricmd1", Kind::Button, "", 2880, 4200, 1215, 1215, kCyan, {}, {"MS Sans Serif", 24}, Hidden | Bold, Border::None, Pointer::Default, "", 28},
    {"cmdExit", Kind::Button, "E&xit", 6120, 0, 3135, 735, Rgb{0xC0, 0x00, 0xC0}, {}, {"MS Sans Serif", 8.25}, Bold | Picture, Border::None, Pointer::Default, "Ti prego resta ancora, forse riuscirai a farmi uscire ", 23},
    {"cmdNext", Kind::Button, "&Clicca per iniziare", 3000, 0, 3210, 735, Rgb{0x00, 0xC0, 0x00}, {}, {"MS Sans Serif", 8.25}, Disabled | Bold | Pictures, Border::None, Pointer::Icon, "Go", 22},
    {"Inizio", Kind::Button, "Inizio", 3840, 120, 1215, 495, {}, {}, {}, Hidden | StandardLook, Border::None, Pointer::Default, "", 21},
    {"paricmd", Kind::Button, "", 2400, 1560, 1215, 1215, kCyan, {}, {"MS Sans Serif", 24}, Hidden | Bold, Border::None, Pointer::Paricmd, "", 20},
    {"disparicmd", Kind::Button, "", 5760, 1560, 1215, 1215, kCyan, {}, {"MS Sans Serif", 24}, Hidden | Bold, Border::None, Pointer::Default, "", 19},
    {"txtAnswer", Kind::TextBox, "", 5520, 1680, 2775, 1200, kCyan, {}, {"Arial", 48}, Hidden | Disabled | Bold, Border::None, Pointer::Default, "Inserisci il risultato e  premi il tasto  Invio", 4},
    {"Label6", Kind::Label, "Punti complessivi", -120, 0, 3135, 735, Rgb{0x00, 0x00, 0xFF}, Rgb{0xFF, 0xFF, 0x80}, {"MS Sans Serif", 18}, Opaque | Centred | AutoSize, Border::Flat, Pointer::Default, "", 27},
    {"lblMessage", Kind::Label, "", 1560, 3720, 6615, 615, kCyan, Rgb{0xFF, 0x00, 0x00}, {"MS Sans Serif", 24}, Hidden | Bold | Italic | Centred, Border::None, Pointer::Icon, "", 26},
    {"lblScore", Kind::Label, "", 600, 840, 1215, 975, Rgb{0xFF, 0xFF, 0x00}, {}, {"Times New Roman", 36}, Bold | Centred, Border::Sunken, Pointer::Default, "Questo è il tuo punteggio. Forza con il  record", 25},
    {"Punteggio", Kind::Label, "0", 960, 1080, 495, 615, {}, {}, {"MS Sans Serif", 24}, Centred | AutoSize, Border::None, Pointer::Default, "", 24},
    {"lblpunti", Kind::Label, "0", 8400, 7800, 270, 555, {}, Rgb{0xC0, 0x00, 0xC0}, {"MS Sans Serif", 24}, AutoSize, Border::None, Pointer::Default, "", 18},
    {"Label13", Kind::Label, "con punti", 6720, 7920, 1455, 435, {}, Rgb{0xC0, 0x00, 0xC0}, {"MS Sans Serif", 18}, AutoSize, Border::None, Pointer::Default, "", 17},
    {"lblnome", Kind::Label, "nome", 2640, 7920, 990, 435, {}, Rgb{0x00, 0x00, 0xFF}, {"MS Sans Serif", 18}, Bold | AutoSize, Border::None, Pointer::Default, "", 16},
    {"Label12", Kind::Label, "Il record  è di ", 120, 7920, 2295, 375, {}, Rgb{0xC0, 0x00, 0xC0}, {"MS Sans Serif", 18}, 0, Border::None, Pointer::Default, "", 15},
    {"lblnome1", Kind::Label, "", 1920, 4560, 120, 435, {}, Rgb{0x00, 0x80, 0x00}, {"MS Sans Serif", 18}, Bold | AutoSize, Border::None, Pointer::Default, "", 14},
    {"Label14", Kind::Label, "Sfidante", 135, 4560, 1395, 495, {}, Rgb{0x00, 0x80, 0x00}, {"MS Sans Serif", 18}, Centred | AutoSize, Border::Sunken, Pointer::Default, "", 13},
    {"Label5", Kind::Label, "", 960, 7680, 6615, 615, kCyan, Rgb{0xFF, 0x00, 0x00}, {"MS Sans Serif", 24}, Hidden | Bold | Italic | Centred, Border::None, Pointer::Icon, "", 12},
    {"lblconto", Kind::Label, "00.00.00", 120, 2400, 1575, 495, {}, Rgb{0xFF, 0xFF, 0x00}, {"Arial Black", 12}, Bold, Border::Sunken, Pointer::Default, "", 11},
    {"Label11", Kind::Label, "Tempo restante", 120, 1920, 1575, 375, {}, Rgb{0xFF, 0xFF, 0x00}, {"MS Sans Serif", 9.75}, 0, Border::None, Pointer::Default, "", 10},
    {"Label3", Kind::Label, "Risposte totali", 5640, 3840, 2340, 495, {}, Rgb{0x00, 0x00, 0xFF}, {"MS Sans Serif", 18}, Hidden | AutoSize, Border::Sunken, Pointer::Default, "", 9},
    {"Label1", Kind::Label, "Risposte errate", 5760, 3120, 2520, 495, {}, Rgb{0xFF, 0x00, 0x00}, {"MS Sans Serif", 18}, Hidden | AutoSize, Border::Sunken, Pointer::Default, "", 8},
    {"lblScore2", Kind::Label, "0", 7560, 2880, 555, 885, {}, Rgb{0x00, 0x00, 0xFF}, {"Times New Roman", 36}, Hidden | Bold | Centred | AutoSize, Border::Sunken, Pointer::Default, "", 7},
    {"lblScore1", Kind::Label, "0", 6960, 3600, 540, 885, {}, Rgb{0xFF, 0x00, 0x00}, {"Times New Roman", 36}, Hidden | Bold | Centred | AutoSize, Border::Sunken, Pointer::Default, "", 0},
    {"lblTime", Kind::Label, "", 8400, 1800, 90, 300, {}, {}, {"MS Sans Serif", 12}, Hidden | Bold | Opaque | AutoSize, Border::None, Pointer::Default, "Clicca sotto di me per attivare il Timer", 6},
    {"lblNum2", Kind::Label, "", 7080, 2040, 345, 1185, kCyan, {}, {"Arial", 48}, Hidden | Disabled | Bold | Opaque | Centred | AutoSize, Border::Sunken, Pointer::Default, "", 5},
    {"Label4", Kind::Label, "=", 7320, 2040, 615, 975, Rgb{0x80, 0xFF, 0xFF}, {}, {"Arial", 48}, Hidden | Disabled | Bold | Opaque | Centred, Border::None, Pointer::Default, "", 3},
    {"Label2", Kind::Label, "X", 7320, 1800, 615, 975, Rgb{0x80, 0xFF, 0xFF}, {}, {"Arial", 48}, Hidden | Disabled | Opaque | Centred, Border::None, Pointer::Default, "", 2},
    {"lblNum1", Kind::Label, "", 6840, 1680, 345, 1185, kCyan, {}, {"Arial", 48}, Hidden | Disabled | Bold | Opaque | Centred | AutoSize, Border::Sunken, Pointer::Default, "", 1},
}};

inline constexpr std::array<TimerSpec, 2> kTimers{{
    {"Timer2", false, 1300},
    {"Timer1", true, 1000},
}};

inline constexpr std::array<MenuSpec, 10> kMenu{{
    {1, "INFOMAZIONI", "vortana.example"},
    {2, "sede", "Lecco (LC)"},
    {1, "copy", "Amici dell'11"},
    {2, "via", "- Via dei Numeri 11, 23900 Lecco, vortana@vortana.example"},
    {1, "Next", "Nuovo gioco"},
    {1, "hf", "Help"},
    {2, "Ciao", "Ciao campione, mi raccomando colpisci solo i multipli del numero 11"},
    {2, "ok", "Ogni errore  ti farà perdere 4 punti."},
    {2, "d", "Un numero è divisibile per 11 se la differenza (in valore assoluto)  tra la somma delle cifre di posto dispari e quella di posto pari è 0 oppure un multiplo di 11 "},
    {2, "h", "Es 165 è divisibile per 11 ed infatti (1+5) -6=0"},
}};

static_assert(kMenu[0].level == 1, "the menu bar opens with a menu of its own");

constexpr int twipsToPixels(int twips) { return twips / kTwipsPerPixel; }

}  // namespace vortana
