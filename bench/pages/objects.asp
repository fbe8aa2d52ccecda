<% ' Objects with properties read and written through Get and Let, in a loop.
Class Account
  Private balance_
  Public Owner
  Private Sub Class_Initialize()
    balance_ = 0
  End Sub
  Public Property Get Balance()
    Balance = balance_
  End Property
  Public Property Let Balance(value)
    balance_ = value
  End Property
  Public Sub Deposit(amount)
    Balance = Balance + amount
  End Sub
End Class

total = 0
For i = 1 To 20000
  Set a = New Account
  a.Owner = "visitor"
  a.Balance = i
  a.Deposit 5
  total = total + a.Balance
Next
Response.Write total %>
