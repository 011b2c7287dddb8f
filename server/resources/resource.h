// Resource identifiers of the server executable.
#pragma once

#define IDS_PROJNAME 100
#define IDR_QUELVAR 101
#define IDR_QUELVARSINGLETON 201
#define IDR_APPID 202
#define IDR_PIUPDATE 204
