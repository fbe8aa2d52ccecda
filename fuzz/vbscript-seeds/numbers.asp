<%
' Arithmetic on numbers held in variables: the fast path and its way back.
a = 32767 : b = CLng(2147483647) : c = 2.5 : d = -32768 : e = "7" : f = Empty
s = 0
For i = 1 To 40 Step 3
  s = s + (i Mod 7) * 3 - i \ 2 + a / c
  If s > b - a Then s = s Mod 11
  t = -d + a * a - b + c * e - f
  If i >= 10 And i <> 20 Then s = s - 1 Else s = s + d / 3
Next
For k = 32766 To 32767 : Next
Response.Write s & " " & t & " " & TypeName(k) & " " & (b + 1) & " " & (a + 1)
%>
