<!--#include file="page.asp"-->
<%
On Error Resume Next
x = &HFF + 1.5E3 - #2/29/2024# * 2 \ 3 Mod 4 ^ -1 & "a""b"
If x = 1 Then y = 2 Else y = 3
Select Case x
  Case 1, 2 : y = 1
  Case Is > 3, 4 To 5 : y = 2
  Case Else : y = 3
End Select
Do While x < 10 : x = x + 1 : If x = 5 Then Exit Do
Loop
While False : Wend
Sub S(ByVal a, ByRef b) : b = a : Exit Sub : End Sub
Call S(1, y) : S 1, (y)
ReDim Preserve z(5) : Erase z
For Each k In Array(1, 2) : Next
Randomize : Response.Write Rnd() _
  & Now
%>
