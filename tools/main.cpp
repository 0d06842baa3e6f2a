#include "tools/transfer_tool.h"

int main(int argc, char** argv) { return RunTransferTool(argc, argv); }
