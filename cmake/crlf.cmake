# cmake -DFROM=in -DTO=out -P crlf.cmake: a copy of FROM with CR LF line ends.
file(READ ${FROM} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TO} "${text}")
