// Mnemonics of menu labels: the label's own, else the first free initial, else the first free
// letter, and ampersands that stay ampersands.
#include <gtest/gtest.h>

#include <string>

#include "platform/mnemonic.h"

using namespace vx::platform;

TEST(Mnemonic, FirstFreeInitialThenAnyFreeLetter) {
    std::string taken;
    EXPECT_EQ(mnemonic_label("Informes Graficos", taken), "&Informes Graficos");
    EXPECT_EQ(mnemonic_label("Imprimir informe", taken), "I&mprimir informe")
        << "both initials are taken";
    EXPECT_EQ(taken, "im");
    taken = "a";
    EXPECT_EQ(mnemonic_label("Acerca de", taken), "Acerca &de");
    taken = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(mnemonic_label("Abc", taken), "Abc") << "nothing free: no mnemonic";
    EXPECT_EQ(mnemonic_label("Abc 2", taken), "Abc &2");
    taken.clear();
    EXPECT_EQ(mnemonic_label("", taken), "");
    EXPECT_EQ(mnemonic_label("--", taken), "--");
}

TEST(Mnemonic, OwnMarksAndAmpersands) {
    std::string taken = "s";
    EXPECT_EQ(mnemonic_label("&Salir", taken), "&Salir")
        << "a label's own mark is kept, taken or not";
    EXPECT_EQ(taken, "ss");
    taken.clear();
    EXPECT_EQ(mnemonic_label("Compras & Ventas", taken), "&Compras && Ventas");
    EXPECT_EQ(mnemonic_label("Ventas && Compras", taken), "&Ventas && Compras");
    EXPECT_EQ(mnemonic_label("A & B &Fin", taken), "A && B &Fin");
    EXPECT_EQ(taken, "cvf");
    EXPECT_EQ(mnemonic_label("Fin &", taken), "F&in &&");
    EXPECT_EQ(mnemonic_of("A && B"), 0);
    EXPECT_EQ(mnemonic_of("A &b"), 'b');
    EXPECT_EQ(mnemonic_of("&"), 0);
}
