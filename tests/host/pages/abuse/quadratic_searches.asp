<%
' Searches whose naive form compares the whole pattern at every place.
hay = Space(2000000)
needle = Space(20000) & "x"
Response.Write InStr(hay, needle) & "|" & InStr(1, hay, UCase(needle), 1) & "|"
Response.Write InStrRev(hay, "x" & Space(20000)) & "|" & Len(Replace(hay, needle, "")) & "|"
Response.Write UBound(Split(hay, needle, -1, 1))
%>
