#include "app/KVTApp.h"

// The one application object, built before main runs.
CKVTApp theApp;

int main(int argc, char **argv)
{
    return AfxWinMain(argc, argv);
}
