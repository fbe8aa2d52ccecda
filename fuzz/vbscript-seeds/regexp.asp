<% Dim r, m, s
Set r = New RegExp
r.Global = True : r.IgnoreCase = True : r.Multiline = True
For Each s In Array("^(\w+)\s*=\s*(.*?)$", "[^]|[]|[\d-z]|\u00e9\x41\101\cJ", "(a)\1|\2(?=b)(?!c)a{2,3}?", "{,}|a{|\b.\B")
  r.Pattern = s
  For Each m In r.Execute("Key = Value" & vbCrLf & "a1 = b2")
    Response.Write m.FirstIndex & m.Length & m.SubMatches.Count & m
  Next
  Response.Write r.Replace("aab key=v", "[$1|$&|$`|$'|$$|$10]") & r.Test("x")
Next
%>
