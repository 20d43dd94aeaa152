#include "CPelloruApp.h"

int main(int argc, char **argv) { return CPelloruApp::Main(argc, argv); }
